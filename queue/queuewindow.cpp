#include "queue/queuewindow.h"
#include "ui_queuewindow.h"

#include <QAction>
#include <QTimerEvent>

QueueWindow::QueueWindow(QWidget* parent, bool journal)
    : QWidget(parent), ui(new Ui::QueueWindow), saveDir(QString()), journal(journal)
{
    ui->setupUi(this);
    setWindowTitle(journal ? tr("Journals queue") : tr("Configurations queue"));
    timerId = startTimer(1000, Qt::CoarseTimer);

    struct
    {
        QString text;
        void (QueueWindow::*slot)();
    } const actions[] = {
        {journal ? tr("View") : tr("Run editor"), &QueueWindow::openConfigEditor},
        {tr("Clear queue"), qOverload<>(&QueueWindow::clearQueue)},
        {tr("Stop downloading"), &QueueWindow::stopDownloading},
        {tr("Resume"), &QueueWindow::resumeDownloading},
    };
    for (const auto& a : actions) {
        auto* action = new QAction(a.text, ui->queueTable);
        connect(action, &QAction::triggered, this, a.slot);
        ui->queueTable->addAction(action);
    }
}

QueueWindow::~QueueWindow()
{
    delete ui;
}

void QueueWindow::enqueue(QObject*, int) {}

void QueueWindow::loadConfigFromStorage(QObject*, QObject*, const QString&, int) {}

void QueueWindow::light_connected(bool) {}

void QueueWindow::responseFinished() {}

void QueueWindow::on_queueTable_cellDoubleClicked(int, int) {}

void QueueWindow::openConfigEditor() {}

void QueueWindow::clearQueue()
{
    items.clear();
    ui->queueTable->setRowCount(0);
}

void QueueWindow::clearQueue(QObjectList) {}

void QueueWindow::stopDownloading() {}

void QueueWindow::resumeDownloading() {}

void QueueWindow::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != timerId)
        return;
}
