#include "workstation/workstationwindow.h"

#include "core/downloadfile.h"
#include "core/journalversion.h"
#include "host/hostlight.h"
#include "host/simulatedfleet.h"
#include "ui_workstationwindow.h"
#include "workstation/moduleclient.h"
#include "workstation/momentdialog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QTimer>

namespace {
enum Column { IdColumn, TypeColumn, FamilyColumn, LinkColumn, ConfigColumn };

const char journalDockName[] = "journalQueueDoc";
const char configDockName[] = "configQueueDoc";
} // namespace

WorkstationWindow::WorkstationWindow(ModuleClient* module, SimulatedFleet* fleet, QWidget* parent)
    : QMainWindow(parent), ui(new Ui::WorkstationWindow), m_module(module), m_fleet(fleet),
      m_storageChoice(new QComboBox(this)),
      m_placeholder(new HostLight(QVariant(), QString(), this)), m_growth(new QTimer(this))
{
    ui->setupUi(this);
    m_storageChoice->setObjectName(QStringLiteral("storageChoice"));
    m_storageChoice->addItem(tr("Storage: JSON-RPC client"));
    m_storageChoice->addItem(tr("Storage: invoke object"));
    ui->mainToolBar->insertWidget(ui->actionStorageCurrent, m_storageChoice);
    ui->splitter->setStretchFactor(0, 3);
    ui->splitter->setStretchFactor(1, 1);
    // The controller list's context menu offers the operator's actions.
    ui->controllerTable->addActions(
        {ui->actionJournalAll, ui->actionJournalBlocks, ui->actionJournalNew, ui->actionConfig,
         ui->actionStorageCurrent, ui->actionStorageArchive, ui->actionOpenConfig,
         ui->actionToggleLink, ui->actionClearSelected});
    fillTable();

    connect(m_module, &ModuleClient::configurationDownloadComplete, this,
            &WorkstationWindow::onConfigComplete);
    connect(m_module, &ModuleClient::configurationDownloadFailed, this,
            &WorkstationWindow::onConfigFailed);
    for (SimulatedController* c : m_fleet->controllers()) {
        connect(c->light(), &HostLight::connected, this, &WorkstationWindow::updateLinks);
        connect(c, &SimulatedController::transferEnded, this, &WorkstationWindow::onTransferEnded);
    }
    connect(m_growth, &QTimer::timeout, this, &WorkstationWindow::growJournals);
    connect(ui->menuView, &QMenu::aboutToShow, this, &WorkstationWindow::updateViewMenu);
    // No action may hide behind a toolbar's extension button at the first start:
    // the window opens wide enough for both toolbars side by side, or, on a
    // narrow screen, the second goes to a row of its own.
    const int toolbars =
        ui->mainToolBar->sizeHint().width() + ui->fileToolBar->sizeHint().width() + 40;
    const int room = screen() ? screen()->availableGeometry().width() : toolbars;
    if (toolbars <= room)
        resize(qMax(width(), toolbars), height());
    else
        insertToolBarBreak(ui->fileToolBar);
    fitToScreen();
    statusBar()->showMessage(tr("Module %1 from %2, %3 controllers")
                                 .arg(m_module->moduleVersion(), m_module->pluginPath())
                                 .arg(m_fleet->size()));
}

// Here, where the form's class is complete.
WorkstationWindow::~WorkstationWindow() = default;

void WorkstationWindow::setStorages(QObject* rpcStorage, QObject* invokeStorage)
{
    m_rpcStorage = rpcStorage;
    m_invokeStorage = invokeStorage;
    ui->actionStorageCurrent->setEnabled(rpcStorage || invokeStorage);
    ui->actionStorageArchive->setEnabled(rpcStorage);
}

void WorkstationWindow::setJournalGrowth(int seconds)
{
    if (seconds > 0)
        m_growth->start(seconds * 1000);
    else
        m_growth->stop();
}

void WorkstationWindow::growJournals()
{
    ++m_growthRound;
    int grown = 0;
    for (int i = 0; i < m_fleet->size(); ++i) {
        // Not every controller has something to say every time.
        if ((i + m_growthRound) % 3 == 0)
            continue;
        m_fleet->controller(i)->growJournal(1 + (i + m_growthRound) % 4);
        ++grown;
    }
    // Routine: what it brings shows in the next "only new" download.
    if (m_log.isVerbose())
        log(tr("%1 controllers wrote new journal entries").arg(grown));
}

void WorkstationWindow::fitToScreen()
{
    // The first window must fit a small screen (1280x800 with a panel) whole,
    // with room for the frame the window system adds once it is shown.
    const QScreen* shown = screen();
    if (!shown)
        return;
    const QRect room = shown->availableGeometry();
    const QSize frame(16, 40);
    resize(size().boundedTo(room.size() - frame));
    move(room.topLeft() + QPoint((room.width() - width() - frame.width()) / 2,
                                 (room.height() - height() - frame.height()) / 2));
}

void WorkstationWindow::fillTable()
{
    QTableWidget* t = ui->controllerTable;
    t->setRowCount(m_fleet->size());
    for (int row = 0; row < m_fleet->size(); ++row) {
        SimulatedController* c = m_fleet->controller(row);
        const auto item = [](const QString& text) {
            auto* i = new QTableWidgetItem(text);
            i->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            return i;
        };
        t->setItem(row, IdColumn, item(QString::number(c->id())));
        t->setItem(row, TypeColumn, item(c->light()->type()));
        t->setItem(row, FamilyColumn, item(ControllerData::familyName(c->family())));
        t->setItem(row, LinkColumn, item(QString()));
        t->setItem(row, ConfigColumn, item(QString()));
    }
    updateLinks();
    t->resizeColumnsToContents();
}

void WorkstationWindow::updateLinks()
{
    for (int row = 0; row < m_fleet->size(); ++row) {
        const bool up = m_fleet->controller(row)->light()->isConnected();
        QTableWidgetItem* i = ui->controllerTable->item(row, LinkColumn);
        i->setText(up ? tr("up") : tr("down"));
        i->setForeground(up ? QColor(0, 120, 0) : QColor(170, 0, 0));
    }
}

int WorkstationWindow::rowOf(QObject* light) const
{
    for (int row = 0; row < m_fleet->size(); ++row)
        if (m_fleet->controller(row)->light() == light)
            return row;
    return -1;
}

QList<SimulatedController*> WorkstationWindow::selectedControllers() const
{
    QList<SimulatedController*> out;
    const auto rows = ui->controllerTable->selectionModel()->selectedRows();
    for (const QModelIndex& index : rows)
        out.append(m_fleet->controller(index.row()));
    std::sort(out.begin(), out.end(),
              [](SimulatedController* a, SimulatedController* b) { return a->id() < b->id(); });
    return out;
}

void WorkstationWindow::selectControllers(const QList<int>& rows)
{
    ui->controllerTable->clearSelection();
    for (int row : rows)
        ui->controllerTable->selectionModel()->select(ui->controllerTable->model()->index(row, 0),
                                                      QItemSelectionModel::Select |
                                                          QItemSelectionModel::Rows);
}

QList<SimulatedController*> WorkstationWindow::chosenControllers()
{
    const QList<SimulatedController*> chosen = selectedControllers();
    if (chosen.isEmpty()) {
        log(tr("Select controllers first"));
        statusBar()->showMessage(tr("Select controllers first"), 5000);
    }
    return chosen;
}

QList<int> WorkstationWindow::idsOf(const QList<SimulatedController*>& controllers)
{
    QList<int> ids;
    for (const SimulatedController* c : controllers)
        ids << c->id();
    return ids;
}

QObjectList WorkstationWindow::selectedLights() const
{
    QObjectList lights;
    for (SimulatedController* c : selectedControllers())
        lights.append(c->light());
    return lights;
}

void WorkstationWindow::logLines(const QStringList& lines)
{
    for (const QString& line : lines)
        log(line);
}

void WorkstationWindow::log(const QString& text)
{
    ui->logView->appendPlainText(QStringLiteral("%1  %2").arg(
        QTime::currentTime().toString(QStringLiteral("hh:mm:ss")), text));
}

QString WorkstationWindow::logText() const
{
    return ui->logView->toPlainText();
}

QDockWidget* WorkstationWindow::journalDock() const
{
    return findChild<QDockWidget*>(QLatin1String(journalDockName), Qt::FindDirectChildrenOnly);
}

QDockWidget* WorkstationWindow::configDock() const
{
    return findChild<QDockWidget*>(QLatin1String(configDockName), Qt::FindDirectChildrenOnly);
}

void WorkstationWindow::placeNewDocks()
{
    m_placedDocks.removeAll(QPointer<QDockWidget>());
    for (QDockWidget* dock : {journalDock(), configDock()}) {
        if (!dock || m_placedDocks.contains(dock))
            continue;
        m_placedDocks.append(dock);
        connect(dock, &QDockWidget::visibilityChanged, this, &WorkstationWindow::updateViewMenu);
        // A dock restored from the saved layout is already where the operator left it.
        if (dockWidgetArea(dock) != Qt::NoDockWidgetArea || dock->isVisible())
            continue;
        // The two queues share the bottom area side by side, journals on the left.
        QDockWidget* other = dock == journalDock() ? configDock() : journalDock();
        addDockWidget(Qt::BottomDockWidgetArea, dock);
        dock->setFloating(false);
        if (other && m_placedDocks.contains(other) &&
            dockWidgetArea(other) == Qt::BottomDockWidgetArea && !other->isFloating()) {
            if (dock == journalDock())
                splitDockWidget(dock, other, Qt::Horizontal);
            else
                splitDockWidget(other, dock, Qt::Horizontal);
            resizeDocks({dock, other}, {width() / 2, width() / 2}, Qt::Horizontal);
        }
        resizeDocks({dock}, {height() * 2 / 5}, Qt::Vertical);
        dock->show();
    }
}

void WorkstationWindow::restoreLayout()
{
    QSettings settings;
    if (!restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray()))
        fitToScreen();
    restoreState(settings.value(QStringLiteral("window/state")).toByteArray());
    // The docks exist only once the module made them; a light without an id
    // makes the module create a queue window, which its saved place then receives.
    // At the first start both queues show, empty, so that the operator finds them.
    const QString openKey = QStringLiteral("window/openQueues");
    if (!settings.contains(openKey)) {
        // Placed once the window is shown and has its size.
        QTimer::singleShot(0, this, [this] {
            m_module->loadJournal(m_placeholder, 0);
            m_module->loadConfig(m_placeholder);
            placeNewDocks();
        });
        return;
    }
    const QStringList open = settings.value(openKey).toStringList();
    if (open.contains(QLatin1String(journalDockName)))
        m_module->loadJournal(m_placeholder, 0);
    if (open.contains(QLatin1String(configDockName)))
        m_module->loadConfig(m_placeholder);
    placeNewDocks();
}

void WorkstationWindow::saveLayout()
{
    QSettings settings;
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("window/state"), saveState());
    QStringList open;
    if (journalDock())
        open << QLatin1String(journalDockName);
    if (configDock())
        open << QLatin1String(configDockName);
    settings.setValue(QStringLiteral("window/openQueues"), open);
}

QString WorkstationWindow::layoutReport() const
{
    QStringList lines;
    for (QDockWidget* d : {journalDock(), configDock()}) {
        if (!d)
            continue;
        lines << QStringLiteral("%1 area=%2 floating=%3 visible=%4 size=%5x%6")
                     .arg(d->objectName())
                     .arg(int(dockWidgetArea(d)))
                     .arg(d->isFloating() ? 1 : 0)
                     .arg(d->isVisible() ? 1 : 0)
                     .arg(d->width())
                     .arg(d->height());
    }
    return lines.join(QLatin1Char('\n'));
}

void WorkstationWindow::closeEvent(QCloseEvent* event)
{
    const int running = runningDownloads();
    if (running > 0) {
        QMessageBox question(QMessageBox::Question, tr("Quit"),
                             tr("%1 download(s) still running. Quit anyway?").arg(running),
                             QMessageBox::Yes | QMessageBox::No, this);
        question.setObjectName(QStringLiteral("quitQuestion"));
        question.setDefaultButton(QMessageBox::No);
        if (question.exec() != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    }
    saveLayout();
    event->accept();
}

void WorkstationWindow::on_actionQuit_triggered()
{
    close();
}

void WorkstationWindow::updateViewMenu()
{
    const QDockWidget* journal = journalDock();
    const QDockWidget* config = configDock();
    ui->actionShowJournalQueue->setChecked(journal && journal->isVisible());
    ui->actionShowConfigQueue->setChecked(config && config->isVisible());
}

void WorkstationWindow::showQueue(bool journal, bool shown)
{
    QDockWidget* dock = journal ? journalDock() : configDock();
    if (!dock && shown) {
        // The module makes its queue window on the first request; the light
        // without an id makes it appear and queues nothing.
        if (journal)
            m_module->loadJournal(m_placeholder, 0);
        else
            m_module->loadConfig(m_placeholder);
        placeNewDocks();
        dock = journal ? journalDock() : configDock();
    }
    if (!dock)
        return;
    dock->setVisible(shown);
    if (shown)
        dock->raise();
    updateViewMenu();
    log((shown ? tr("%1 shown") : tr("%1 hidden"))
            .arg((journal ? ui->actionShowJournalQueue : ui->actionShowConfigQueue)->text()));
}

void WorkstationWindow::on_actionShowJournalQueue_triggered(bool checked)
{
    showQueue(true, checked);
}

void WorkstationWindow::on_actionShowConfigQueue_triggered(bool checked)
{
    showQueue(false, checked);
}

void WorkstationWindow::queueJournals(int blocks)
{
    const auto controllers = chosenControllers();
    if (controllers.isEmpty())
        return;
    for (SimulatedController* c : controllers) {
        m_module->loadJournal(c->light(), blocks);
        m_runningJournals.insert(c->light());
    }
    placeNewDocks();
    logLines(m_log.requested(OperatorLog::Kind::Journal, idsOf(controllers),
                             OperatorLog::blocksText(blocks)));
}

void WorkstationWindow::on_actionJournalAll_triggered()
{
    queueJournals(ControllerData::BlocksAll);
}

void WorkstationWindow::on_actionJournalBlocks_triggered()
{
    if (chosenControllers().isEmpty())
        return;
    bool ok = false;
    // Up to a whole binary journal.
    const int blocks =
        QInputDialog::getInt(this, tr("Journal blocks"), tr("Newest blocks to download:"), 10, 1,
                             ControllerData::MaxBinaryBlocks, 1, &ok);
    if (ok)
        queueJournals(blocks);
}

void WorkstationWindow::on_actionJournalNew_triggered()
{
    queueJournals(ControllerData::BlocksNew);
}

void WorkstationWindow::on_actionViewJournal_triggered()
{
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Saved journal"), m_module->journalDir(),
                                     tr("Journals (Jrn*.bin);;All files (*)"));
    if (!path.isEmpty())
        viewJournalFile(path);
}

SimulatedController* WorkstationWindow::controllerOfFile(const QString& path) const
{
    int id = 0;
    if (!DownloadFile::idFromFileName(QFileInfo(path).fileName(), &id))
        return nullptr;
    for (SimulatedController* c : m_fleet->controllers())
        if (c->id() == id)
            return c;
    return nullptr;
}

void WorkstationWindow::viewJournalFile(const QString& path)
{
    const QString file = QFileInfo(path).fileName();
    int version = 0;
    if (SimulatedController* c = controllerOfFile(path)) {
        const QString type = c->light()->type();
        version = JournalVersion::forType(type);
        log(tr("Journal %1: controller %2 (%3), %4")
                .arg(file)
                .arg(c->id())
                .arg(type, OperatorLog::formatText(version)));
    } else {
        const QStringList generations = {QStringLiteral("314"),       QStringLiteral("315"),
                                         QStringLiteral("316"),       QStringLiteral("317"),
                                         tr("TM_HELIX text journal"), tr("vegal text journal"),
                                         tr("other text journal")};
        bool ok = false;
        const QString choice = QInputDialog::getItem(
            this, tr("Journal generation"),
            tr("%1 belongs to no known controller. Format:").arg(file), generations, 3, false, &ok);
        if (!ok)
            return;
        // In the order of generations.
        static const int versions[] = {314,
                                       315,
                                       316,
                                       317,
                                       JournalVersion::TextJournalTmHelix,
                                       JournalVersion::TextJournalVegal,
                                       JournalVersion::TextJournalOther};
        version = versions[generations.indexOf(choice)];
        log(tr("Journal %1: %2, as chosen").arg(file, OperatorLog::formatText(version)));
    }
    m_module->viewJournal(version, path);
}

void WorkstationWindow::adoptSavedConfigurations()
{
    const QDir dir(m_module->configDir());
    int found = 0;
    for (int row = 0; row < m_fleet->size(); ++row) {
        SimulatedController* c = m_fleet->controller(row);
        // The newer file wins when both forms were saved at some time.
        QFileInfo newest;
        for (const bool json : {true, false}) {
            const QFileInfo info(
                dir.absoluteFilePath(ControllerData::configFileName(c->id(), json)));
            if (info.isFile() && (!newest.exists() || info.lastModified() > newest.lastModified()))
                newest = info;
        }
        if (!newest.exists())
            continue;
        c->light()->setProperty("dqueue_config", newest.absoluteFilePath());
        ui->controllerTable->item(row, ConfigColumn)->setText(newest.absoluteFilePath());
        ++found;
    }
    if (found > 0)
        log(tr("%1 configuration(s) saved earlier found in %2").arg(found).arg(dir.absolutePath()));
}

int WorkstationWindow::runningDownloads() const
{
    return m_runningJournals.size() + m_runningConfigs.size();
}

void WorkstationWindow::on_actionConfig_triggered()
{
    const auto controllers = chosenControllers();
    if (controllers.isEmpty())
        return;
    for (SimulatedController* c : controllers) {
        m_module->loadConfig(c->light());
        m_runningConfigs.insert(c->light());
    }
    placeNewDocks();
    logLines(m_log.requested(OperatorLog::Kind::Configuration, idsOf(controllers),
                             tr("from the controllers")));
}

void WorkstationWindow::fromStorage(const QString& datetime)
{
    QObject* storage = m_storageChoice->currentIndex() == 1 && datetime.isEmpty()
                           ? m_invokeStorage.data()
                           : m_rpcStorage.data();
    if (!storage)
        storage = m_invokeStorage ? m_invokeStorage.data() : m_rpcStorage.data();
    if (!storage) {
        log(tr("No configuration storage"));
        return;
    }
    const auto controllers = chosenControllers();
    if (controllers.isEmpty())
        return;
    // Logged first: the storage answers (and ends downloads) within the calls.
    logLines(m_log.requested(
        OperatorLog::Kind::Configuration, idsOf(controllers),
        datetime.isEmpty()
            ? tr("current, from the storage")
            : tr("from the storage, valid at %1")
                  .arg(QLocale().toString(QDateTime::fromString(datetime, Qt::ISODate),
                                          QLocale::ShortFormat))));
    for (SimulatedController* c : controllers) {
        m_runningConfigs.insert(c->light());
        m_module->loadConfigFromStorage(storage, c->light(), datetime);
    }
    placeNewDocks();
}

void WorkstationWindow::on_actionStorageCurrent_triggered()
{
    fromStorage(QString());
}

void WorkstationWindow::on_actionStorageArchive_triggered()
{
    if (chosenControllers().isEmpty())
        return;
    MomentDialog ask(QDateTime::fromString(SimulatedFleet::archiveMoment(), Qt::ISODate), this);
    if (ask.exec() == QDialog::Accepted)
        fromStorage(ask.moment().toString(Qt::ISODate));
}

void WorkstationWindow::on_actionOpenConfig_triggered()
{
    for (SimulatedController* c : chosenControllers()) {
        const QString saved = c->light()->property("dqueue_config").toString();
        log(tr("Controller %1: open configuration %2")
                .arg(c->id())
                .arg(saved.isEmpty() ? tr("(none saved)") : saved));
        // The module tells a failure only as a message: it belongs in the log too.
        for (const QString& message : m_module->openConfig(c->light()))
            log(tr("Controller %1: %2").arg(c->id()).arg(message));
    }
}

void WorkstationWindow::on_actionClearSelected_triggered()
{
    const QObjectList lights = selectedLights();
    m_module->clearJournal(lights);
    m_module->clearConfig(lights);
    for (QObject* light : lights) {
        m_runningJournals.remove(light);
        m_runningConfigs.remove(light);
    }
}

void WorkstationWindow::on_actionClearQueues_triggered()
{
    // As the queue's own Clear: the host's clear() never asks, the operator is.
    const int running = runningDownloads();
    if (running > 0) {
        QMessageBox question(
            QMessageBox::Question, tr("Clear queues"),
            running == 1 ? tr("Clear both queues? 1 download is still running.")
                         : tr("Clear both queues? %1 downloads are still running.").arg(running),
            QMessageBox::Yes | QMessageBox::No, this);
        question.setObjectName(QStringLiteral("clearQuestion"));
        question.setDefaultButton(QMessageBox::No);
        if (question.exec() != QMessageBox::Yes)
            return;
    }
    m_module->clear();
    log(tr("Queues cleared"));
    m_runningJournals.clear();
    m_runningConfigs.clear();
}

void WorkstationWindow::on_actionToggleLink_triggered()
{
    for (SimulatedController* c : chosenControllers()) {
        c->light()->setConnected(!c->light()->isConnected());
        log(tr("Controller %1: link %2")
                .arg(c->id())
                .arg(c->light()->isConnected() ? tr("up") : tr("down")));
    }
}

void WorkstationWindow::on_actionSelectAll_triggered()
{
    ui->controllerTable->selectAll();
}

void WorkstationWindow::on_actionVerboseLog_toggled(bool on)
{
    m_log.setVerbose(on);
}

void WorkstationWindow::onConfigComplete(QObject* light, const QString& fileName)
{
    m_runningConfigs.remove(light);
    const int row = rowOf(light);
    if (row >= 0)
        ui->controllerTable->item(row, ConfigColumn)->setText(fileName);
    if (light)
        logLines(m_log.ended(OperatorLog::Kind::Configuration, light->property("id").toInt(), true,
                             QDir::toNativeSeparators(fileName)));
}

void WorkstationWindow::onConfigFailed(QObject* light, const QString& message)
{
    m_runningConfigs.remove(light);
    const int row = rowOf(light);
    if (row >= 0)
        ui->controllerTable->item(row, ConfigColumn)->setText(tr("failed: %1").arg(message));
    if (light)
        logLines(m_log.ended(OperatorLog::Kind::Configuration, light->property("id").toInt(), false,
                             message));
}

void WorkstationWindow::onTransferEnded(const QString& command)
{
    // The host hears nothing of a journal's end; the controller knows it sent
    // its last block. How the download went, the journal queue shows.
    auto* c = qobject_cast<SimulatedController*>(sender());
    if (c && command == QLatin1String("GET_JRNL")) {
        m_runningJournals.remove(c->light());
        logLines(m_log.ended(OperatorLog::Kind::Journal, c->id(), true, QString()));
    }
}
