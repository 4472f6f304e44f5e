#pragma once

#include "queue/queueitem.h"

#include <QHash>
#include <QPair>
#include <QVariantList>

#include <deque>
#include <functional>

// What all items of a queue together may hold in downloaded data. Beyond the
// limit, completed items give their data back (their saved files hold it) and
// downloads wait instead of growing, all but exemptDownloads that may go past
// it so that some always finish; each of those holds at most a download's
// ceiling (DownloadFile::maxSize). The two queues together hold 192 MiB, about
// 320 MiB at the very most while buffers grow: well clear of a 32-bit host's
// 2 GiB, whatever the controllers send. A fleet of 2,000 controllers with full
// journals holds about 70 MB, and configurations are far smaller: ordinary
// fleets never meet it.
class MemoryBudget
{
public:
    static constexpr qint64 journalLimit = qint64(160) * 1024 * 1024;
    static constexpr qint64 configLimit = qint64(32) * 1024 * 1024;
    static constexpr int exemptDownloads = 2;

    // roomFreed: memory came free while items wait for it; wakeWaiters then
    // tells which may go on (called from the event loop, not from within).
    MemoryBudget(QHash<QObject*, QueueItem>& items, qint64 limit, std::function<void()> roomFreed);

    void setLimit(qint64 bytes) { m_limit = bytes; }
    qint64 held() const { return m_held; }

    // The item changed: counts what it holds now; it no longer waits for
    // memory unless it waits still, and only a running download keeps its
    // leave to grow past the limit.
    void itemChanged(QueueItem& item);
    void itemRemoved(QueueItem& item);
    // Whether the answer may be taken now, completed items giving their data
    // back to make room for it; if not, the item waits for memory.
    bool makeRoomForAnswer(QObject* light, QueueItem& item, const QVariantList& answer);
    // The completed item's data is given back after the data of those that
    // completed before it.
    void completed(QObject* light, QueueItem& item);
    // Gives completed items' data back, the oldest first, until room bytes
    // more fit within the limit.
    void giveBackCompleted(qint64 room);
    // Lets the waiting items whose downloads may go on now go, oldest first,
    // calling wake for each: as many as the room left takes, by the size of
    // their last answers, and one more for each download that may go past the
    // limit. Each is looked at after the one before it has gone on, since the
    // host runs code of its own then (it may stop or remove a waiter).
    void wakeWaiters(const std::function<void(QObject*)>& wake);

private:
    void countHeld(QueueItem& item);
    void setExempt(QueueItem& item, bool exempt);
    void scheduleWake();

    QHash<QObject*, QueueItem>& m_items;
    qint64 m_limit;
    std::function<void()> m_roomFreed;
    qint64 m_held = 0;
    int m_exemptCount = 0;
    quint64 m_completions = 0;
    // In the order of waiting / of completion; entries of items that have
    // moved on since are passed over.
    std::deque<QObject*> m_waiters;
    std::deque<QPair<QObject*, quint64>> m_completedWithData;
};
