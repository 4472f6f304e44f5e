#include "queue/blockoverlap.h"

#include "core/binaryjournal.h"

#include <QVector>

#include <algorithm>
#include <cstring>

namespace {

constexpr int R = BinaryJournal::RecordSize;
// A record's time fields, its source left out.
constexpr quint32 timeMask = 0x03FFFFFF;

quint32 recordTime(const char* record)
{
    return BinaryJournal::timeWord(reinterpret_cast<const uchar*>(record), R) & timeMask;
}

// The date and time a text line begins with (its first two fields); the whole
// line when it has no such fields.
QByteArray lineStamp(const char* line, const char* end)
{
    const auto* space = static_cast<const char*>(memchr(line, ' ', size_t(end - line)));
    if (!space)
        return QByteArray(line, int(end - line));
    while (space < end && *space == ' ')
        ++space;
    const auto* timeEnd = static_cast<const char*>(memchr(space, ' ', size_t(end - space)));
    return QByteArray(line, int((timeEnd ? timeEnd : end) - line));
}

// Whether the lines of text that meet [from, to) carry more than one stamp.
bool stampsVary(const QByteArray& text, int from, int to)
{
    const char* const bytes = text.constData();
    int at = from;
    while (at > 0 && bytes[at - 1] != '\0')
        --at;
    QByteArray first;
    for (bool any = false; at < to;) {
        const auto* zero =
            static_cast<const char*>(memchr(bytes + at, '\0', size_t(text.size() - at)));
        const int end = zero ? int(zero - bytes) : text.size();
        const QByteArray stamp = lineStamp(bytes + at, bytes + end);
        if (any && stamp != first)
            return true;
        first = stamp;
        any = true;
        at = end + 1;
    }
    return false;
}

// Whether bytes repeat with a period of at most half their length (fill,
// such as a row of '='): such a match says nothing of a shift.
bool periodic(const char* bytes, int size)
{
    QVector<int> border(size, 0);
    for (int i = 1, k = 0; i < size; ++i) {
        while (k > 0 && bytes[i] != bytes[k])
            k = border[k - 1];
        if (bytes[i] == bytes[k])
            ++k;
        border[i] = k;
    }
    return size - border[size - 1] <= size / 2;
}

} // namespace

BlockOverlap BlockOverlap::find(const QByteArray& received, const QByteArray& block, bool marked)
{
    return marked ? inText(received, block) : inRecords(received, block);
}

BlockOverlap BlockOverlap::inRecords(const QByteArray& received, const QByteArray& block)
{
    if (received.size() % R != 0)
        return {};
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
        bool vary = false;
        for (int i = n - shift + 1; i < n && !vary; ++i)
            vary = recordTime(had + i * R) != recordTime(at);
        return {m * R, m, vary};
    }
    return {};
}

BlockOverlap BlockOverlap::inText(const QByteArray& received, const QByteArray& block)
{
    if (block.isEmpty())
        return {};
    const int window = qMin(received.size(), maxShiftBytes);
    const char* const had = received.constData() + received.size() - window;
    for (int shift = minTextShift; shift <= window; ++shift) {
        const char* at = had + window - shift;
        const int m = qMin(shift, block.size());
        if (*at != block.at(0) || memcmp(at, block.constData(), size_t(m)) != 0 ||
            periodic(at, shift))
            continue;
        // The text without the shift: what came, then the whole block. Does
        // it repeat whole lines there (what a controller may write), and of
        // more than one second?
        const QByteArray text = QByteArray(had, window) + block;
        const int from = window - shift;
        const bool textStart = window == received.size();
        bool proven = true;
        if (m < shift) {
            proven = stampsVary(text, from, window);
        } else {
            int low = from;
            while (low > 0 && text.at(low - 1) == text.at(low - 1 + shift))
                --low;
            int high = window + m;
            while (high < text.size() && text.at(high) == text.at(high - shift))
                ++high;
            for (int p = low; p + 2 * shift <= high; ++p) {
                const bool lineStart = p > 0 ? text.at(p - 1) == '\0' : textStart;
                if (lineStart && text.at(p + shift - 1) == '\0') {
                    proven = stampsVary(text, p, p + shift);
                    break;
                }
            }
        }
        const int lineEnds = int(std::count(block.constData(), block.constData() + m, '\0'));
        return {m, qMax(1, lineEnds), proven};
    }
    return {};
}
