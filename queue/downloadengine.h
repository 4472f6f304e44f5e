#pragma once

#include "queue/blockoutcome.h"
#include "queue/queueitem.h"

#include <QDir>
#include <QHash>
#include <QMetaMethod>
#include <QObject>
#include <QObjectList>
#include <QPair>
#include <QTimer>

#include <deque>

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

    // What all items of a queue together may hold in downloaded data. Beyond
    // it, completed items give their data back (their saved files hold it)
    // and downloads wait instead of growing, all but exemptDownloads that may
    // go past it so that some always finish; each of those holds at most a
    // download's ceiling (DownloadFile::maxSize). The two queues together
    // hold 192 MiB, about 320 MiB at the very most while buffers grow: well
    // clear of a 32-bit host's 2 GiB, whatever the controllers send. A fleet
    // of 2,000 controllers with full journals holds about 70 MB, and
    // configurations are far smaller: ordinary fleets never meet it.
    static constexpr qint64 journalMemoryBudget = qint64(160) * 1024 * 1024;
    static constexpr qint64 configMemoryBudget = qint64(32) * 1024 * 1024;
    static constexpr int exemptDownloads = 2;
    // A response's error text is kept up to this many characters.
    static constexpr int maxErrorText = 500;

    explicit DownloadEngine(bool journal, QObject* parent = nullptr);
    ~DownloadEngine() override;

    bool isJournal() const { return journal; }
    QDir saveDirectory() const { return saveDir; }
    void setSaveDir(const QDir& dir) { saveDir = dir; }
    // How often the timer really ticks; each tick still counts as tickMs.
    // Tests make time pass faster with it, or (0) stop the timer and call
    // tick() themselves.
    void setTickInterval(int ms);
    // One step of the retry countdown: items whose delay runs out are sent for.
    void tick();
    void setMemoryBudget(qint64 bytes) { budget = bytes; }
    // The bytes of downloaded data the items hold now.
    qint64 memoryHeld() const { return held; }

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
    const QueueItem* item(QObject* light) const;
    QueueItem* item(QObject* light);
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
    // Counts the item in its phase (once) and tells the view of the change.
    void recount(QueueItem& item);
    void tell(QObject* light, QueueItem& item);
    // Sends for a stopped or failed item again, from where it stands.
    void goOn(QObject* light, QueueItem& item);

    // The light's link signal.
    void lightConnected(QObject* light, bool connected);
    void sendRequest(QObject* light);
    // Reads where an only-new journal goes on from; false (the item has
    // failed, the file is left as it is) when its file is there but cannot
    // be read.
    bool readPrevious(QObject* light, QueueItem& item);
    void issueCommand(QObject* light, bool continuing);
    void connectFinished(QObject* response, QObject* relay);
    void connectLink(QObject* light, QObject* relay);
    struct CachedSignal
    {
        const QMetaObject* meta = nullptr;
        QMetaMethod method;
        QMetaMethod slot; // the relay's
    };
    void connectRelay(QObject* sender, const char* signal, CachedSignal& cached, QObject* relay,
                      const char* slot);
    void answerArrived(QObject* light, QObject* response);
    void applyOutcome(QObject* light, QueueItem& item, const BlockOutcome& outcome);
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
    void responseLost(QObject* light);

    // The memory budget: counts what the item holds now; whether an answer of
    // so many bytes may be taken now (if not, the item waits for memory);
    // gives completed items' data back, the oldest first; sends for waiting
    // items again as memory comes free.
    void reckon(QueueItem& item);
    bool admit(QObject* light, QueueItem& item, qint64 bytes);
    void giveBackCompleted(qint64 excess);
    void scheduleWake();
    void wakeWaiters();
    void setExempt(QueueItem& item, bool exempt);

    void lightDestroyed(QObject* light);
    void forgetResponse(QueueItem& item);
    void releaseItem(QueueItem& item);

    QHash<QObject*, QueueItem> items;
    int phaseCounts[QueueItem::phaseCount] = {};
    QDir saveDir;
    bool journal;
    int timerId = 0;
    CachedSignal finishedSignal;
    const QMetaObject* commandMeta = nullptr;
    CachedSignal linkSignal;
    QMetaMethod sendCommandMethod;

    qint64 budget;
    qint64 held = 0;
    int exemptCount = 0;
    quint64 completions = 0;
    // In the order of waiting / of completion; entries of items that have
    // moved on since are passed over.
    std::deque<QObject*> memoryWaiters;
    std::deque<QPair<QObject*, quint64>> completedWithData;
    QTimer wakeTimer;
};
