#pragma once

#include "queue/blockoutcome.h"
#include "queue/queueitem.h"

#include <QDir>
#include <QHash>
#include <QMetaMethod>
#include <QObjectList>
#include <QWidget>

class QProgressBar;

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
    friend class TestQueueWindow;

    enum Column {
        ObjectColumn,
        TypeColumn,
        StateColumn,
        LoadedColumn,
        ErrorsColumn,
        StatusColumn,
        ColumnCount
    };

    void setCellText(int row, int column, const QString& text);
    QProgressBar* progressBar(int row) const;
    void setProgress(int row, int maximum, int value);
    void changeBar(QProgressBar* bar, bool setRange, int maximum, bool setValue, int value);
    QString itemFileName(QObject* light) const;

    void sendRequest(QObject* light);
    void sendNext(QObject* light);
    void issueCommand(QObject* light, bool continuing);
    void failItem(QObject* light, const QString& msg, bool fatal);
    // A final failure that a returning link does not undo.
    void giveUp(QObject* light, const QString& msg);
    // Whether a failure now would be the item's last.
    static bool isFinal(const QueueItem& item, bool fatal);
    // Saves the item's data; false when that failed (the item then has failed for good).
    bool completeItem(QObject* light);
    void lightDestroyed(QObject* light);

    void lightConnected(QObject* light, bool connected);
    void answerArrived(QObject* light, QObject* response);
    void applyOutcome(QObject* light, const BlockOutcome& outcome);
    void forgetResponse(QueueItem& item);
    void connectFinished(QObject* response, QObject* relay);
    void releaseItem(QueueItem& item);
    void saveStoppedJournal(QObject* light, const QueueItem& item);

    // The light of a table row (through its "Object" cell), or null.
    QObject* lightOfRow(int row) const;
    // The rows of the selected cells, each once, in the order of the selection.
    QList<int> selectedRows() const;
    // The lights of those rows, in the same order.
    QObjectList selectedLights() const;
    // Rows move under sorting and removal; every item keeps its current row.
    void renumberRows();
    void rowsMoved();
    void scheduleReseat();
    void reseatCells();
    void scheduleResize();

    Ui::QueueWindow* ui;
    QHash<QObject*, QueueItem> items;
    QDir saveDir;
    int timerId = 0;
    bool journal;
    const QMetaObject* finishedMeta = nullptr;
    QMetaMethod finishedSignal;
    bool renumberSuspended = false;
    bool renumberNeeded = false;
    bool reseating = false;
    bool reseatPending = false;
    bool resizePending = false;
    // Length of the longest text each column has shown, to refit only when needed.
    int longestText[ColumnCount] = {};
};
