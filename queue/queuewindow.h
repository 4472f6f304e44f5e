#pragma once

#include "queue/queueitem.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QIcon>
#include <QObjectList>
#include <QSet>
#include <QVector>
#include <QWidget>

#include <memory>

class DownloadEngine;
class QAction;
class QProgressBar;
class QHelpEvent;
class QKeyEvent;
class QTableWidgetItem;
class QTimer;

namespace Ui {
class QueueWindow;
}

// One download queue (journals or configurations) as the operator sees it: a
// table over a download engine, and the operator's actions on it.
class QueueWindow : public QWidget
{
    Q_OBJECT

public:
    QueueWindow(QWidget* parent, bool journal);
    ~QueueWindow() override;

    void setSaveDir(const QDir& dir);

    void enqueue(QObject* light, int blocks);
    void loadConfigFromStorage(QObject* cnfStorage, QObject* light, const QString& datetime,
                               int max_errors);

signals:
    void openConfig(QObject* light);
    // View of a journal row: its data, or (file not empty) the saved file that
    // holds it; dir is the queue's directory (definition-file overrides, saves);
    // id and type are the controller's, as queued.
    void viewJournalRequested(int version, const QByteArray& data, const QString& file,
                              const QString& dir, int id, const QString& type);
    void downloadComplete(QObject* light, QString file_name);
    void downloadFailed(QObject* light, QString msg);

private slots:
    void on_queueTable_cellDoubleClicked(int row, int column);
    void openConfigEditor();

public slots:
    void clearQueue();
    void clearQueue(QObjectList obj_list);
    void stopDownloading();
    void resumeDownloading();
    void retryDownloading();
    // Takes the selected rows' lights out of the queue, as the host's
    // clearJournal / clearConfig would.
    void removeSelected();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

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

    // The cells of one item's row; they stay the same wherever the row moves.
    // Also what they show, so that only what changed is formatted again.
    struct Row
    {
        QTableWidgetItem* cells[ColumnCount] = {};
        QProgressBar* bar = nullptr;
        QueueItem::Shown shown; // as the cells were first made: nothing loaded, waiting
        int errors = -1;
        int phase = -1;
    };

    // Which rows the filter beside the counts shows.
    enum class Filter { All, Active, Failed };

    // "Clear queue" as the operator chooses it: asks first while downloads go on.
    void confirmClearQueue();
    void selectAllRows();
    // Opens the table's context menu as the Menu key does.
    void openContextMenu();
    void focusFilterEdit();
    // The queue's action whose key the event is, or null. The table takes
    // these keys before any shortcut of the host's window sees them.
    QAction* queueKeyAction(const QKeyEvent* key) const;
    bool filterKey(QObject* watched, QKeyEvent* key);
    // Whether some rows may be hidden.
    bool filtering() const { return filter != Filter::All || !filterText.isEmpty(); }
    // The type a row shows: the light's, or what the data turned out to be.
    QString typeText(const QueueItem& item) const;
    bool passesFilter(const QueueItem& item) const;
    void filterRow(QTableWidgetItem* objectCell, const QueueItem& item);
    void filterAllRows();
    // The tooltip of a Status cell cut short: its whole text.
    bool showCutStatus(QHelpEvent* event);

    void addRow(QObject* light);
    void removeRow(QObject* light);
    // Takes the lights' items out of the queue, and their rows in one batch.
    void removeRows(const QObjectList& lights);
    // Asks whether to open a journal's saved file that changed since.
    bool openChangedFile(const QString& file);
    void itemChanged(QObject* light);
    void scheduleRefresh();
    void showAfterRequest();
    // Shows what changed since the last time: at most every refreshMs (longer
    // when refreshing takes long) however many answers came, and at once after
    // an action of the operator or a call of the host (after the first
    // manyRequests calls of one pass of the event loop, once it returns).
    void showChanges();
    void showItem(Row& row, const QueueItem& item);
    void showStatus(QTableWidgetItem* cell, const QueueItem& item);
    // The line under the table: how many items are in each phase.
    void showCounts();
    // Enables the actions that can act on some selected row.
    void updateActions();
    QString statusText(const QueueItem& item) const;
    void setCellText(QTableWidgetItem* cell, const QString& text);
    void fitColumn(QTableWidgetItem* cell, int length, bool widen);
    void changeBar(QProgressBar* bar, int maximum, int value);

    // The light of a table row (through its "Object" cell), or null.
    QObject* lightOfRow(int row) const;
    // The rows of the selected cells, each once, in the order of the selection.
    QList<int> selectedRows() const;
    // The lights of those rows whose items the action can act on, in the same order.
    QObjectList selectedLights(bool (QueueItem::*canAct)() const) const;
    // Opens the lights' journals or configurations from the event loop.
    void openLater(const QObjectList& lights);
    void openItem(QObject* light);
    void scheduleReseat();
    void reseatCells();

    static constexpr int refreshMs = 100;
    static constexpr int maxRefreshMs = 1000;

    std::unique_ptr<Ui::QueueWindow> ui;
    DownloadEngine* engine;
    QTimer* refresh;
    QElapsedTimer sinceShown;
    int refreshInterval = refreshMs;
    bool journal;
    QHash<QObject*, Row> rows;
    QAction* openAction = nullptr;
    QAction* stopAction = nullptr;
    QAction* resumeAction = nullptr;
    QAction* retryAction = nullptr;
    QAction* removeAction = nullptr;
    Filter filter = Filter::All;
    QString filterText; // the filter box's, trimmed
    QVector<QAction*> queueKeys;
    QIcon failedIcon;
    int countsShown[QueueItem::phaseCount] = {-1, -1, -1, -1, -1, -1};
    QSet<QObject*> changed;
    bool clearing = false;
    bool removing = false; // rows to remove are collected, not removed one by one
    QVector<int> rowsToRemove;
    int inRequest = 0; // calls of the host under way
    static constexpr int manyRequests = 32;
    int requestsThisPass = 0;
    bool reseating = false;
    bool reseatPending = false;
    // Length of the longest text each column has shown, to refit only when needed.
    int longestText[ColumnCount] = {};
};
