#pragma once

#include "queue/queueitem.h"

#include <QDir>
#include <QHash>
#include <QObjectList>
#include <QWidget>

namespace Ui {
class QueueWindow;
}

// One download queue (journals or configurations) and its table.
class QueueWindow : public QWidget
{
    Q_OBJECT

public:
    QueueWindow(QWidget* parent, bool journal);
    ~QueueWindow() override;

    bool isJournal() const { return journal; }
    QDir saveDirectory() const { return saveDir; }
    void setSaveDir(const QDir& dir) { saveDir = dir; }

    void enqueue(QObject* light, int blocks);
    void loadConfigFromStorage(QObject* cnfStorage, QObject* light, const QString& datetime,
                               int max_errors);

signals:
    void openConfig(QObject* light);
    void downloadComplete(QObject* light, QString file_name);
    void downloadFailed(QObject* light, QString msg);

private slots:
    void light_connected(bool connected);
    void responseFinished();
    void on_queueTable_cellDoubleClicked(int row, int column);
    void openConfigEditor();

public slots:
    void clearQueue();
    void clearQueue(QObjectList obj_list);
    void stopDownloading();
    void resumeDownloading();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    Ui::QueueWindow* ui;
    QHash<QObject*, QueueItem> items;
    QDir saveDir;
    int timerId = 0;
    bool journal;
};
