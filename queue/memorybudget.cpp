#include "queue/memorybudget.h"

#include "core/downloadfile.h"

namespace {

// About what an answer adds to the item: its bytes and texts.
qint64 answerBytes(const QVariantList& data)
{
    qint64 bytes = 0;
    for (const QVariant& value : data) {
        if (value.userType() == QMetaType::QByteArray)
            bytes += value.toByteArray().size();
        else if (value.userType() == QMetaType::QString)
            bytes += value.toString().size();
    }
    return bytes;
}

// Lists of items that keep entries of items gone or moved on are pruned
// when they hold many more entries than there are items.
template <typename List, typename Live> void prune(List& list, int items, Live live)
{
    if (list.size() <= size_t(2 * items + 64))
        return;
    List kept;
    for (const auto& entry : list)
        if (live(entry))
            kept.push_back(entry);
    list.swap(kept);
}

} // namespace

MemoryBudget::MemoryBudget(QHash<QObject*, QueueItem>& items, qint64 limit,
                           std::function<void()> roomFreed)
    : m_items(items), m_limit(limit), m_roomFreed(std::move(roomFreed))
{}

void MemoryBudget::itemChanged(QueueItem& item)
{
    if (item.shown.status != QueueItem::Status::Waiting)
        item.memory.waiting = false;
    if (item.memory.exempt && item.phase() != QueueItem::Phase::Downloading)
        setExempt(item, false);
    countHeld(item);
}

void MemoryBudget::itemRemoved(QueueItem& item)
{
    setExempt(item, false);
    item.memory.waiting = false;
    m_held -= item.memory.held;
    item.memory.held = 0;
    scheduleWake();
}

void MemoryBudget::countHeld(QueueItem& item)
{
    // Capacity, not size: a growing buffer holds room for more.
    const qint64 now = item.buffer.capacity();
    if (now == item.memory.held)
        return;
    if (now < item.memory.held)
        scheduleWake();
    m_held += now - item.memory.held;
    item.memory.held = now;
}

void MemoryBudget::setExempt(QueueItem& item, bool exempt)
{
    if (item.memory.exempt == exempt)
        return;
    item.memory.exempt = exempt;
    m_exemptCount += exempt ? 1 : -1;
    if (!exempt)
        scheduleWake();
}

bool MemoryBudget::makeRoomForAnswer(QObject* light, QueueItem& item, const QVariantList& answer)
{
    const qint64 bytes = answerBytes(answer);
    item.memory.lastAnswerBytes = int(qBound(qint64(1), bytes, qint64(DownloadFile::maxSize)));
    if (item.memory.exempt || m_held + bytes <= m_limit)
        return true;
    giveBackCompleted(bytes);
    if (m_held + bytes <= m_limit)
        return true;
    if (m_exemptCount < exemptDownloads) {
        setExempt(item, true);
        return true;
    }
    item.memory.waiting = true;
    m_waiters.push_back(light);
    prune(m_waiters, m_items.size(), [this](QObject* waiting) {
        const QueueItem* entry = findItem(m_items, waiting);
        return entry && entry->memory.waiting;
    });
    return false;
}

void MemoryBudget::completed(QObject* light, QueueItem& item)
{
    if (item.buffer.isEmpty())
        return;
    item.memory.completionOrder = ++m_completions;
    m_completedWithData.emplace_back(light, item.memory.completionOrder);
    prune(m_completedWithData, m_items.size(), [this](const QPair<QObject*, quint64>& e) {
        const QueueItem* entry = findItem(m_items, e.first);
        return entry && entry->memory.completionOrder == e.second && !entry->memory.givenBack;
    });
}

void MemoryBudget::giveBackCompleted(qint64 room)
{
    qint64 excess = m_held + room - m_limit;
    while (excess > 0 && !m_completedWithData.empty()) {
        const QPair<QObject*, quint64> entry = m_completedWithData.front();
        m_completedWithData.pop_front();
        QueueItem* item = findItem(m_items, entry.first);
        if (!item || item->memory.completionOrder != entry.second || !item->done ||
            item->memory.givenBack)
            continue;
        excess -= item->memory.held;
        item->buffer = QByteArray();
        item->memory.givenBack = true;
        countHeld(*item);
    }
}

void MemoryBudget::scheduleWake()
{
    if (!m_waiters.empty() && m_roomFreed)
        m_roomFreed();
}

void MemoryBudget::wakeWaiters(const std::function<void(QObject*)>& wake)
{
    qint64 room = m_limit - m_held;
    while (!m_waiters.empty()) {
        QObject* light = m_waiters.front();
        QueueItem* item = findItem(m_items, light);
        if (!item || !item->memory.waiting) {
            m_waiters.pop_front();
            continue;
        }
        const bool fits = item->memory.lastAnswerBytes <= room;
        if (!fits && m_exemptCount >= exemptDownloads)
            break;
        m_waiters.pop_front();
        if (fits)
            room -= item->memory.lastAnswerBytes;
        else
            setExempt(*item, true);
        item->memory.waiting = false;
        wake(light);
    }
}
