#include "queue/journalprotocol.h"

#include "queue/answerfield.h"
#include "queue/blockoverlap.h"
#include "queue/ceiling.h"

#include <QSet>

#include <cstring>

qint64 JournalProtocol::findStopMarker(const QByteArray& buffer, const QByteArray& block,
                                       const QByteArray& marker, bool marked)
{
    if (marker.isEmpty())
        return -1;
    if (!marked) {
        // Records never straddle blocks; a match inside a record is a coincidence.
        for (int i = 0; i + marker.size() <= block.size(); i += BinaryJournal::RecordSize)
            if (memcmp(block.constData() + i, marker.constData(), size_t(marker.size())) == 0)
                return buffer.size() + i;
        return -1;
    }
    // Look at the end of what is stored too: the line may have begun in the
    // previous block. One byte more tells whether the match starts a line.
    const int tailSize = qMin(buffer.size(), marker.size());
    const qint64 base = buffer.size() - tailSize;
    const QByteArray window = buffer.right(tailSize) + block;
    for (int from = 0;;) {
        const int at = window.indexOf(marker, from);
        if (at < 0)
            return -1;
        const qint64 pos = base + at;
        const bool lineStart = pos == 0 || (at > 0 && window.at(at - 1) == '\0');
        const int end = at + marker.size();
        const bool lineEnd = end >= window.size() || window.at(end) == '\0';
        if (lineStart && lineEnd)
            return pos;
        from = at + 1;
    }
}

namespace {

// Where a text journal's first non-empty line begins (its size when none).
int firstTextLine(const QByteArray& journal)
{
    int at = 0;
    while (at < journal.size() && journal.at(at) == '\0')
        ++at;
    return at;
}

// Calls take(from, length) for each entry of a journal: zero-terminated lines
// (the zero included; the last one may lack it), or records.
template <typename Take> void forEachEntry(const QByteArray& journal, bool marked, Take take)
{
    for (int from = 0; from < journal.size();) {
        int end = from + BinaryJournal::RecordSize;
        if (marked) {
            const int zero = journal.indexOf('\0', from);
            end = zero < 0 ? journal.size() : zero + 1;
        }
        end = qMin(end, journal.size());
        take(from, end - from);
        from = end;
    }
}

} // namespace

QByteArray JournalProtocol::stopMarkerOf(const QByteArray& journal, bool marked)
{
    if (!marked)
        return journal.left(BinaryJournal::RecordSize);
    const int from = firstTextLine(journal);
    const int zero = journal.indexOf('\0', from);
    return journal.mid(from, zero < 0 ? -1 : zero - from);
}

QByteArray JournalProtocol::continued(const QByteArray& fresh, const QByteArray& previous,
                                      bool markerMet, bool marked)
{
    QByteArray out = fresh;
    // A text that ended inside a line must not run into the next one.
    if (marked && !out.isEmpty() && !out.endsWith('\0') && !previous.isEmpty())
        out += '\0';
    if (markerMet) {
        out += marked ? previous.mid(firstTextLine(previous)) : previous;
        return out;
    }
    // Hashes of the new entries; a candidate is compared byte for byte.
    QSet<QByteArray> held;
    forEachEntry(fresh, marked, [&](int from, int length) {
        // Lines are compared without their zero: the new data's last may lack it.
        const int size = marked && fresh.at(from + length - 1) == '\0' ? length - 1 : length;
        held.insert(QByteArray::fromRawData(fresh.constData() + from, size));
    });
    out.reserve(out.size() + previous.size());
    forEachEntry(previous, marked, [&](int from, int length) {
        const bool whole =
            marked ? previous.at(from + length - 1) == '\0' : length == BinaryJournal::RecordSize;
        const int size = marked && whole ? length - 1 : length;
        const QByteArray entry = QByteArray::fromRawData(previous.constData() + from, size);
        // A last entry cut short (a download of so many blocks ends inside a
        // line) is held when a whole one begins with it.
        bool isHeld = held.contains(entry);
        for (auto it = held.cbegin(); !whole && !isHeld && it != held.cend(); ++it)
            isHeld = it->startsWith(entry);
        if (!isHeld)
            out.append(previous.constData() + from, length);
    });
    return out;
}

QByteArray JournalProtocol::withoutRepeat(const QByteArray& block, const QByteArray& received,
                                          int* carried, QueueItem::Repeats* repeats)
{
    const BlockOverlap overlap = BlockOverlap::find(received, block, *carried);
    *carried = 0;
    if (overlap.size == 0)
        return block;
    if (!overlap.proven) {
        repeats->kept = overlap.entries;
        return block;
    }
    repeats->dropped = overlap.entries;
    // All of the block came before: the next one goes on with the rest of the move.
    if (overlap.size == block.size())
        *carried = overlap.shift - overlap.size;
    return block.mid(overlap.size);
}

AnswerOutcome JournalProtocol::handleBlock(QueueItem& item, const QVariantList& data)
{
    return takeWithinCeiling(item, data, 1, [&] { return takeBlock(item, data); });
}

AnswerOutcome JournalProtocol::takeBlock(QueueItem& item, const QVariantList& data)
{
    QByteArray block;
    if (data.size() < 2 || !AnswerField::bytes(data.at(1), &block))
        return AnswerOutcome::failed(AnswerOutcome::WrongAnswer);
    // Marked journals do not number their blocks; unmarked ones must.
    qint64 number = item.loaded;
    if (!item.isMarked()) {
        if (!AnswerField::position(data.at(0), &number))
            return AnswerOutcome::failed(AnswerOutcome::WrongAnswer);
        // Stored where it claims to belong, it would leave a gap: ask again.
        if (number > item.loaded) {
            AnswerOutcome out;
            out.failRetryable();
            return out;
        }
    }
    // An empty block ends the journal, for every family (a controller past the
    // end of its memory would otherwise be asked again without end); nothing
    // received so far is dropped for it.
    if (block.isEmpty())
        return AnswerOutcome::completed();
    return item.isMarked() ? takeTextBlock(item, block) : takeRecordBlock(item, block, number);
}

AnswerOutcome JournalProtocol::takeTextBlock(QueueItem& item, const QByteArray& block)
{
    if (!item.stopMarker.isEmpty()) {
        const qint64 at = findStopMarker(item.buffer, block, item.stopMarker, true);
        if (at >= 0) {
            if (at <= item.buffer.size())
                item.buffer.truncate(int(at));
            else
                item.buffer.append(block.left(int(at - item.buffer.size())));
            item.stopMarker.clear();
            item.markerMet = true;
            return AnswerOutcome::completed();
        }
    }
    // Two zero bytes end the text, also when the first of them closed the
    // previous block. The zero that ends the last line stays with it.
    const bool endsWithZero = !item.buffer.isEmpty() && item.buffer.endsWith('\0');
    if (endsWithZero && block.startsWith('\0'))
        return AnswerOutcome::completed();
    const int k = block.indexOf(QByteArray(2, '\0'));
    if (k >= 0) {
        if (k > 0 || (!item.buffer.isEmpty() && !endsWithZero))
            item.buffer.append(block.left(k + 1));
        return AnswerOutcome::completed();
    }
    item.buffer.append(block);
    ++item.loaded;
    return counted(item);
}

AnswerOutcome JournalProtocol::takeRecordBlock(QueueItem& item, const QByteArray& sent,
                                               qint64 number)
{
    // A block that arrives again replaces what was stored from where that
    // block began; blocks of other lengths around it are neither cut nor moved.
    const int before = item.loaded;
    const bool resent = number < item.loaded;
    if (resent) {
        item.buffer.truncate(item.blockStarts.value(int(number), item.buffer.size()));
        item.blockStarts.resize(int(number));
        item.blockRepeats.resize(int(number));
        item.carriedShift = 0;
    }
    QueueItem::Repeats repeats;
    const QByteArray block = withoutRepeat(sent, item.buffer, &item.carriedShift, &repeats);
    if (!item.stopMarker.isEmpty()) {
        const qint64 at = findStopMarker(item.buffer, block, item.stopMarker, false);
        if (at >= 0) {
            // The records in front of the marker are new: keep them.
            item.blockRepeats.append(repeats);
            item.buffer.append(block.left(int(at - item.buffer.size())));
            item.stopMarker.clear();
            item.markerMet = true;
            return AnswerOutcome::completed();
        }
    }
    // Erased space ends the journal. The records written in front of it are
    // the oldest the controller holds (where new records pushed them into
    // this block, too): they are kept.
    const int erased = BinaryJournal::firstErasedRecord(block);
    if (erased >= 0) {
        item.blockRepeats.append(repeats);
        item.buffer.append(block.left(erased));
        return AnswerOutcome::completed();
    }
    item.blockStarts.append(item.buffer.size());
    item.blockRepeats.append(repeats);
    item.buffer.append(block);
    // After an earlier block came again, ask for the one behind it next: counting
    // on from the request would skip the block that was asked for.
    item.loaded = resent ? int(number) + 1 : item.loaded + 1;
    // Never more blocks than asked for; a short last block stays whole.
    if (item.expected > 0 && item.blockStarts.size() > item.expected) {
        item.buffer.truncate(item.blockStarts.at(item.expected));
        item.blockStarts.resize(item.expected);
        item.blockRepeats.resize(item.expected);
    }
    AnswerOutcome out = counted(item);
    if (out.action != AnswerOutcome::RequestNext)
        return out;
    if (item.loaded >= maxBlocks)
        out.action = AnswerOutcome::Complete;
    else if (item.stalls(item.loaded > before))
        out.failRetryable();
    return out;
}

AnswerOutcome JournalProtocol::counted(const QueueItem& item)
{
    AnswerOutcome out;
    out.loadedText = AnswerOutcome::Blocks;
    out.loadedValue = item.loaded;
    if (item.expected > 0 && item.loaded >= item.expected) {
        out.action = AnswerOutcome::Complete;
    } else if (item.expected > 0) {
        out.barValue = item.loaded;
    }
    return out;
}
