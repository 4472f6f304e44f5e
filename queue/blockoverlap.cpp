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

// Where a line's message begins: behind its date, time, type and source.
int messageStart(const char* line, const char* end)
{
    const char* at = line;
    for (int field = 0; field < 4 && at < end; ++field) {
        while (at < end && *at != ' ')
            ++at;
        while (at < end && *at == ' ')
            ++at;
    }
    return int(at - line);
}

// A line's date and time as one ordered number ("dd.MM.yy hh:mm:ss", or with
// a four-digit year), or -1 when it has none.
qint64 textKey(const char* line, const char* end)
{
    const auto digits = [&](int at, int count, qint64* value) {
        if (end - line < at + count)
            return false;
        for (int i = at; i < at + count; ++i) {
            if (line[i] < '0' || line[i] > '9')
                return false;
            *value = *value * 10 + (line[i] - '0');
        }
        return true;
    };
    qint64 day = 0, month = 0, year = 0, time = 0;
    if (!digits(0, 2, &day) || line[2] != '.' || !digits(3, 2, &month) || line[5] != '.')
        return -1;
    int at = 6;
    if (digits(at, 4, &year))
        at += 4;
    else if (year = 0; digits(at, 2, &year))
        at += 2;
    else
        return -1;
    if (end - line < at + 9 || line[at] != ' ' || !digits(at + 1, 2, &time) ||
        !digits(at + 4, 2, &time) || !digits(at + 7, 2, &time))
        return -1;
    return ((year % 100 * 100 + month) * 100 + day) * 1000000 + time;
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

BlockOverlap BlockOverlap::find(const QByteArray& received, const QByteArray& block, bool marked,
                                int carried)
{
    const BlockOverlap found = marked ? inText(received, block) : inRecords(received, block);
    if (found.size > 0)
        return found;
    if (carried > 0 && carried <= received.size()) {
        const int m = qMin(carried, block.size());
        const char* at = received.constData() + received.size() - carried;
        if (m > 0 && memcmp(at, block.constData(), size_t(m)) == 0) {
            const int entries = marked ? qMax(1, int(std::count(at, at + m, '\0'))) : m / R;
            return {m, entries, true, carried};
        }
    }
    return aheadOfReceived(received, block, marked);
}

BlockOverlap BlockOverlap::aheadOfReceived(const QByteArray& received, const QByteArray& block,
                                           bool marked)
{
    // The journal's newest entry when it was first read (past an empty
    // newest line a text journal keeps in front).
    int from = 0;
    while (marked && from < received.size() && received.at(from) == '\0')
        ++from;
    const int probe = marked ? minTextShift : R;
    if (received.size() - from < probe || block.size() <= probe)
        return {};
    const QByteArray start = QByteArray::fromRawData(received.constData() + from, probe);
    for (int x = block.indexOf(start, 1); x > 0; x = block.indexOf(start, x + 1)) {
        if (!marked && x % R != 0)
            continue;
        const int m = qMin(block.size() - x, received.size() - from);
        if (memcmp(block.constData() + x, received.constData() + from, size_t(m)) != 0)
            continue;
        // Entries in front of the newest one received, behind ones of other times.
        bool vary = false;
        if (marked) {
            vary = stampsVary(received, from, received.size());
        } else {
            for (int i = R; i < received.size() && !vary; i += R)
                vary = recordTime(received.constData() + i) != recordTime(received.constData());
        }
        if (!vary)
            return {};
        const int entries =
            marked
                ? qMax(1, int(std::count(block.constData() + x, block.constData() + x + m, '\0')))
                : m / R;
        return {x + m, entries, true, received.size() - from + x};
    }
    return {};
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
        return {m * R, m, vary, shift * R};
    }
    return {};
}

BlockOverlap BlockOverlap::inText(const QByteArray& received, const QByteArray& block)
{
    if (block.isEmpty())
        return {};
    const int window = qMin(received.size(), maxShiftBytes);
    const char* const had = received.constData() + received.size() - window;
    const auto at = [&](int shift) -> BlockOverlap {
        const char* from = had + window - shift;
        const int m = qMin(shift, block.size());
        if (*from != block.at(0) || memcmp(from, block.constData(), size_t(m)) != 0 ||
            periodic(from, shift))
            return {};
        // The text without the shift: what came, then the whole block. Does
        // it repeat whole lines there (what a controller may write), and of
        // more than one second?
        const QByteArray text = QByteArray(had, window) + block;
        const int start = window - shift;
        bool proven = true;
        if (m < shift) {
            proven = stampsVary(text, start, window);
        } else {
            int low = start;
            while (low > 0 && text.at(low - 1) == text.at(low - 1 + shift))
                --low;
            int high = window + m;
            while (high < text.size() && text.at(high) == text.at(high - shift))
                ++high;
            const bool textStart = window == received.size();
            for (int p = low; p + 2 * shift <= high; ++p) {
                const bool lineStart = p > 0 ? text.at(p - 1) == '\0' : textStart;
                if (lineStart && text.at(p + shift - 1) == '\0') {
                    proven = stampsVary(text, p, p + shift);
                    break;
                }
            }
        }
        // Read with the shift, the journal must still run back in time there:
        // a match that joins newer lines behind older ones is a coincidence.
        if (m < block.size()) {
            const int lastEnd = int(text.lastIndexOf('\0', window - 1));
            const int lastStart = lastEnd < 0 ? -1 : int(text.lastIndexOf('\0', lastEnd - 1)) + 1;
            const int nextZero = int(block.indexOf('\0', m));
            const int nextEnd = nextZero < 0 ? -1 : int(block.indexOf('\0', nextZero + 1));
            if (lastEnd > 0 && nextEnd > 0) {
                const qint64 before =
                    textKey(text.constData() + lastStart, text.constData() + lastEnd);
                const qint64 after =
                    textKey(block.constData() + nextZero + 1, block.constData() + nextEnd);
                if (before >= 0 && after > before)
                    return {};
            }
        }
        const int lineEnds = int(std::count(block.constData(), block.constData() + m, '\0'));
        return {m, qMax(1, lineEnds), proven, shift};
    };
    // Whether, read with that overlap, the line through the junction is the
    // line before it again: a line ending like the one before it (the same
    // message) matches a shift too short.
    const auto doubles = [&](const BlockOverlap& o) {
        const int lastEnd = int(received.lastIndexOf('\0'));
        const int lastStart = lastEnd < 0 ? -1 : int(received.lastIndexOf('\0', lastEnd - 1)) + 1;
        const int zero = int(block.indexOf('\0', o.size));
        if (lastEnd <= 0 || zero < 0)
            return false;
        const QByteArray joined = received.mid(lastEnd + 1) + block.mid(o.size, zero - o.size);
        return joined == received.mid(lastStart, lastEnd - lastStart);
    };
    BlockOverlap fallback;
    const auto take = [&](int shift) {
        const BlockOverlap found = at(shift);
        if (found.size == 0 || !doubles(found))
            return found;
        if (fallback.size == 0)
            fallback = found;
        return BlockOverlap();
    };
    // First the repeats that reach back past the last line received; one
    // inside that line only where none does. From that line's start, only
    // well into its message: lines written in one second share stamp, type
    // and source, and such a match says nothing of a move.
    const int partial = received.size() - 1 - int(received.lastIndexOf('\0'));
    for (int shift = qMax(minTextShift, partial + 1); shift <= window; ++shift)
        if (const BlockOverlap found = take(shift); found.size > 0)
            return found;
    for (int shift = minTextShift; shift <= qMin(partial, window); ++shift) {
        if (shift == partial && partial < messageStart(had + window - partial, had + window) + 8)
            break;
        if (const BlockOverlap found = take(shift); found.size > 0)
            return found;
    }
    return fallback;
}
