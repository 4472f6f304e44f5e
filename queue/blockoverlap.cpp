#include "queue/blockoverlap.h"

#include "core/binaryjournal.h"

#include <cstring>

namespace {

constexpr int R = BinaryJournal::RecordSize;
// A record's time fields, its source left out.
constexpr quint32 timeMask = 0x03FFFFFF;

quint32 recordTime(const char* record)
{
    return BinaryJournal::timeWord(reinterpret_cast<const uchar*>(record), R) & timeMask;
}

// Whether the records of [from, from + count) carry more than one time.
bool timesVary(const char* from, int count)
{
    for (int i = 1; i < count; ++i)
        if (recordTime(from + i * R) != recordTime(from))
            return true;
    return false;
}

} // namespace

BlockOverlap BlockOverlap::find(const QByteArray& received, const QByteArray& block, int carried)
{
    if (received.size() % R != 0)
        return {};
    const BlockOverlap found = inRecords(received, block);
    if (found.size > 0)
        return found;
    if (carried > 0 && carried <= received.size()) {
        const int m = qMin(carried, block.size()) / R * R;
        const char* at = received.constData() + received.size() - carried;
        if (m > 0 && memcmp(at, block.constData(), size_t(m)) == 0)
            return {m, m / R, true, carried};
    }
    return aheadOfReceived(received, block);
}

BlockOverlap BlockOverlap::aheadOfReceived(const QByteArray& received, const QByteArray& block)
{
    if (received.size() < R || block.size() <= R)
        return {};
    const QByteArray newest = QByteArray::fromRawData(received.constData(), R);
    for (int x = block.indexOf(newest, 1); x > 0; x = block.indexOf(newest, x + 1)) {
        if (x % R != 0)
            continue;
        const int m = qMin(block.size() - x, received.size()) / R * R;
        if (memcmp(block.constData() + x, received.constData(), size_t(m)) != 0)
            continue;
        // Records in front of the newest one received, behind ones of other times.
        if (!timesVary(received.constData(), received.size() / R))
            return {};
        return {x + m, m / R, true, received.size() + x};
    }
    return {};
}

BlockOverlap BlockOverlap::inRecords(const QByteArray& received, const QByteArray& block)
{
    const int n = received.size() / R;
    const int count = block.size() / R;
    if (n == 0 || count == 0)
        return {};
    const char* const had = received.constData();
    const char* const got = block.constData();
    int limit = qMin(n, maxShiftRecords);
    // Further back than one block only when the block's first record is not
    // older than the last one received: in a journal in time order nothing
    // else can repeat from there, and the usual block costs no search.
    if (limit > count) {
        using BinaryJournal::Stamp;
        const Stamp first = Stamp::at(reinterpret_cast<const uchar*>(got), R);
        const Stamp last = Stamp::at(reinterpret_cast<const uchar*>(had + (n - 1) * R), R);
        if (first.isValid() && last.isValid() && BinaryJournal::earlier(first, last))
            limit = count;
    }
    for (int shift = 1; shift <= limit; ++shift) {
        const char* at = had + (n - shift) * R;
        const int m = qMin(shift, count);
        if (memcmp(at, got, size_t(m) * R) != 0)
            continue;
        // The records the controller would have written twice in a row.
        return {m * R, m, timesVary(at, shift), shift * R};
    }
    return {};
}
