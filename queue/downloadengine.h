#pragma once

#include "queue/lightcall.h"
#include "queue/memorybudget.h"
#include "queue/queueitem.h"

#include <QDir>
#include <QObject>
#include <QTimer>

// One download queue without any widget: its items, the exchange of commands
// and answers with the lights, retries, link handling, stop and resume,
// continuation and saving, and the storage download. A view learns of every
// change through the item signals and reads the item's shown fields; failure
// texts are in the "QueueWindow" translation context.
class DownloadEngine : public QObject
{
    Q_OBJECT

public:
    // The retry countdown counts in these steps, one per tick of the timer.
    static constexpr int tickMs = 1000;
    static constexpr int retryDelayMs = 2000;

    // A response's error text is kept up to this many characters.
    static constexpr int maxErrorText = 500;

    explicit DownloadEngine(bool journal, QObject* parent = nullptr);

    void setSaveDir(const QDir& dir) { saveDir = dir; }
    // How often the timer really ticks; each tick still counts as tickMs.
    // Tests make time pass faster with it, or (0) stop the timer and call
    // tick() themselves.
    void setTickInterval(int ms);
    // One step of the retry countdown: items whose delay runs out are sent for.
    void tick();
    void setMemoryBudget(qint64 bytes) { budget.setLimit(bytes); }
    // The bytes of downloaded data the items hold now.
    qint64 memoryHeld() const { return budget.held(); }

    void enqueue(QObject* light, int blocks);
    void loadConfigFromStorage(QObject* cnfStorage, QObject* light, const QString& datetime,
                               int max_errors);
    void clear();
    // Removes the items whose id reads as the "id" of one of the objects, as
    // the rows showing those ids are removed.
    void remove(const QObjectList& objects);
    void stop(const QObjectList& lights);
    void resume(const QObjectList& lights);
    // Failed items go on from where they failed, their error count reset.
    void retry(const QObjectList& lights);

    // The light's item, or null when it has none.
    const QueueItem* item(QObject* light) const { return findItem(items, light); }
    QueueItem* item(QObject* light) { return findItem(items, light); }
    int count() const { return items.size(); }
    // How many items are in the phase; kept up to date with every change.
    int countIn(QueueItem::Phase phase) const { return phaseCounts[int(phase)]; }
    // The file the light's download is saved to (a marked configuration's
    // ".json" aside).
    QString itemFileName(QObject* light) const;
    // Whether the file a completed item was saved to is no longer as it was
    // saved (replaced, cut short, gone).
    bool savedFileChanged(QObject* light) const;
    // How many stopped or failed items hold data that no file holds (see
    // QueueItem::holdsUnsaved).
    int unsavedCount() const;

signals:
    void itemAdded(QObject* light);
    // Any of the item's shown fields (or its data) may have changed.
    void itemChanged(QObject* light);
    // Sent before the item is gone; the light may be half destroyed.
    void itemRemoved(QObject* light);
    void downloadComplete(QObject* light, QString file_name);
    void downloadFailed(QObject* light, QString msg);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    using Status = QueueItem::Status;
    using Failure = QueueItem::Failure;

    void setStatus(QObject* light, QueueItem& item, Status status,
                   const QString& message = QString());
    void setBar(QueueItem& item, int maximum, int value);
    // Counts the item in its phase (once).
    void recount(QueueItem& item);
    // After any change of the item: its phase count and the memory budget
    // follow, then itemChanged() tells the view.
    void afterItemChange(QObject* light, QueueItem& item);
    // Sends for a stopped or failed item again, from where it stands.
    void resumeItem(QObject* light, QueueItem& item);

    // The light's link signal.
    void lightConnected(QObject* light, bool connected);
    void sendRequest(QObject* light);
    // Reads where an only-new journal goes on from; false (the item has
    // failed, the file is left as it is) when its file is there but cannot
    // be read.
    bool readPrevious(QObject* light, QueueItem& item);
    void issueCommand(QObject* light, bool continuing);
    void answerArrived(QObject* light, QObject* response);
    void applyOutcome(QObject* light, QueueItem& item, const AnswerOutcome& outcome);
    // path: the file the failure concerns, if any.
    void failItem(QObject* light, const QString& msg, bool fatal, Failure kind,
                  const QString& path = QString());
    // A final failure that a returning link does not undo.
    void giveUp(QObject* light, const QString& msg, Failure kind, const QString& path = QString());
    // Whether a failure now would be the item's last.
    static bool isFinal(const QueueItem& item, bool fatal);
    // Saves the item's data; false when that failed (the item then has failed for good).
    bool completeItem(QObject* light);
    void saveStoppedJournal(QObject* light, QueueItem& item);
    // Tells the log what a saved journal may lack or repeat.
    static void logDoubts(const QueueItem& item);
    void responseLost(QObject* light);

    void lightDestroyed(QObject* light);
    void forgetResponse(QueueItem& item);
    void releaseItem(QueueItem& item);

    QHash<QObject*, QueueItem> items;
    int phaseCounts[QueueItem::phaseCount] = {};
    QDir saveDir;
    bool journal;
    int timerId = 0;
    LightCall call;
    QTimer wakeTimer;
    MemoryBudget budget;
};
