#include "plugin/downloadqueue.h"

#include "journal/journalopener.h"
#include "plugin/editorlauncher.h"
#include "queue/queuewindow.h"

#include <QApplication>
#include <QDockWidget>
#include <QMainWindow>
#include <QTimer>

DownloadQueue::DownloadQueue(QObject* parent) : QObject(parent) {}

// The windows belong to their docks (or stay top-level) and outlive this object.
DownloadQueue::~DownloadQueue() = default;

QString DownloadQueue::moduleVersion() const
{
    return QStringLiteral(DQ_MODULE_VERSION);
}

QString DownloadQueue::configDirPath() const
{
    return configDir.absolutePath();
}

void DownloadQueue::setConfigDir(const QString& path)
{
    configDir = QDir(path);
    if (configWindow)
        configWindow->setSaveDir(configDir);
}

QString DownloadQueue::journalDirPath() const
{
    return journalDir.absolutePath();
}

void DownloadQueue::setJournalDir(const QString& path)
{
    journalDir = QDir(path);
    if (journalWindow)
        journalWindow->setSaveDir(journalDir);
}

void DownloadQueue::windowDestroyed()
{
    QObject* window = sender();
    if (!window)
        return;
    if (window == journalWindow)
        journalWindow = nullptr;
    else if (window == configWindow)
        configWindow = nullptr;
}

void DownloadQueue::openConfig(QObject* light)
{
    EditorLauncher::openConfig(light, configDir);
}

void DownloadQueue::loadConfig(QObject* light)
{
    if (!light) {
        qWarning("null light");
        return;
    }
    if (QueueWindow* window = getWindow(false))
        window->enqueue(light, -1);
}

void DownloadQueue::loadConfigFromStorage(QObject* cnfStorage, QObject* light, QString datetime,
                                          int max_errors)
{
    if (QueueWindow* window = getWindow(false))
        window->loadConfigFromStorage(cnfStorage, light, datetime, max_errors);
}

void DownloadQueue::loadJournal(QObject* light, int blocks)
{
    if (QueueWindow* window = getWindow(true))
        window->enqueue(light, blocks);
}

void DownloadQueue::viewJournal(int version, QString& bin_path)
{
    JournalOpener::viewJournal(findMainWindow(), version, bin_path, configDir,
                               journalDir.absolutePath());
}

void DownloadQueue::clear()
{
    if (configWindow)
        configWindow->clearQueue();
    if (journalWindow)
        journalWindow->clearQueue();
}

void DownloadQueue::clearConfig(QObjectList obj_list)
{
    if (configWindow)
        configWindow->clearQueue(obj_list);
}

void DownloadQueue::clearJournal(QObjectList obj_list)
{
    if (journalWindow)
        journalWindow->clearQueue(obj_list);
}

QueueWindow* DownloadQueue::getWindow(bool journal)
{
    QueueWindow*& window = journal ? journalWindow : configWindow;
    if (!window) {
        QueueWindow* created = nullptr;
        if (QMainWindow* mainWindow = findMainWindow()) {
            auto* dock = new QDockWidget(mainWindow);
            dock->setAttribute(Qt::WA_DeleteOnClose);
            created = new QueueWindow(dock, journal);
            dock->setWindowTitle(created->windowTitle());
            dock->setWidget(created);
            dock->setObjectName(journal ? QStringLiteral("journalQueueDoc")
                                        : QStringLiteral("configQueueDoc"));
            if (!mainWindow->restoreDockWidget(dock)) {
                // Not in the saved layout: float it over the middle of the main window.
                dock->setFloating(true);
                dock->move((mainWindow->rect().width() - dock->rect().width()) / 2,
                           (mainWindow->rect().height() - dock->rect().height()) / 2);
            }
        } else {
            created = new QueueWindow(nullptr, journal);
        }

        connect(created, SIGNAL(openConfig(QObject*)), this, SLOT(openConfig(QObject*)));
        connect(created, SIGNAL(destroyed()), this, SLOT(windowDestroyed()));
        window = created;
        if (journal) {
            connect(created, &QueueWindow::viewJournalRequested, created,
                    [created](int version, const QByteArray& data, const QString& file,
                              const QString& dir, int id, const QString& type) {
                        const JournalOpener::Name name = JournalOpener::controllerName(id, type);
                        if (file.isEmpty())
                            JournalOpener::showJournal(created, version, data, QDir(dir), name);
                        else
                            JournalOpener::viewJournal(created, version, file, QDir(dir), dir,
                                                       name);
                    });
        } else {
            connect(created, SIGNAL(downloadComplete(QObject*, QString)), this,
                    SIGNAL(configurationDownloadComplete(QObject*, QString)));
            connect(created, SIGNAL(downloadFailed(QObject*, QString)), this,
                    SIGNAL(configurationDownloadFailed(QObject*, QString)));
        }
    }

    window->setSaveDir(journal ? journalDir : configDir);
    QWidget* parent = window->parentWidget();
    // A layout saved after the operator closed the dock brings it back hidden,
    // request after request and start after start: a dock the main window has
    // placed is shown on every request. One that floats where it was made
    // waits for the host, which decides where it goes.
    if (parent && parent->isHidden() && parent->inherits("QDockWidget")) {
        auto* mainWindow = qobject_cast<QMainWindow*>(parent->parentWidget());
        if (mainWindow &&
            mainWindow->dockWidgetArea(static_cast<QDockWidget*>(parent)) != Qt::NoDockWidgetArea)
            parent->show();
    }

    // Once for all the requests of one pass of the event loop: a host that
    // queues its fleet in one loop has the dock brought up once, not once a
    // light (each activation is a request to the window system).
    if (activateWindows && parent && parent->inherits("QDockWidget") && parent != raising) {
        raising = parent;
        parent->activateWindow();
        const QPointer<DownloadQueue> self(this);
        QTimer::singleShot(0, parent, [self, parent] {
            if (self)
                self->raising = nullptr;
            parent->raise();
        });
    }
    return window;
}

QMainWindow* DownloadQueue::findMainWindow()
{
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget* widget : widgets)
        if (widget->inherits("QMainWindow"))
            return static_cast<QMainWindow*>(widget);
    return nullptr;
}
