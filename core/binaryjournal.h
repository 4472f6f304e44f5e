#pragma once

#include <QByteArray>
#include <QtGlobal>

// The binary journal as controllers keep it, read in one place: 8-byte
// records (a little-endian time word packing second, minute, hour, day,
// month and source; a message code; three parameter bytes) in blocks of 96
// bytes, each block stored newest or oldest record first, and erased space
// behind the last record written. The download, the viewer and the fleet
// tool all read records, stamps and the block order through it.
namespace BinaryJournal {

constexpr int RecordSize = 8;
constexpr int BlockSize = 96;
// The debug module's source: its records carry no message text.
constexpr int DebugSource = 31;

// Erased journal space: nothing is written from such a record on.
inline bool isErased(const uchar* record)
{
    return record[0] == 0xFF;
}
// Where a block's erased space begins (a record's offset), or -1.
int firstErasedRecord(const QByteArray& block);

// The packed time word of a record of length bytes (its first four; a byte
// past the end counts as 0).
quint32 timeWord(const uchar* record, int length);

// A record's time stamp: the fields of its time word, as they are; no year.
struct Stamp
{
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int source = 0;

    static Stamp of(quint32 word);
    static Stamp at(const uchar* record, int length) { return of(timeWord(record, length)); }
    // Fields in range for some year: 29 February is a date.
    bool isValid() const;
    // Equal for equal stamps, greater for later ones within one year.
    int key() const { return ((((month * 32 + day) * 32 + hour) * 64 + minute) * 64) + second; }
};

// Whether stamp a was written before b, two valid stamps of records written
// close together: months more than half a year apart lie across a new year
// (31.12 23:59:55 before 01.01 00:00:05).
bool earlier(const Stamp& a, const Stamp& b);

// Whether the journal's blocks are stored oldest record first. The first
// block with two neighbouring valid stamps that differ decides when they
// run oldest first; one running newest first leaves the question to the
// blocks after it; with no block deciding, newest first.
bool blocksOldestFirst(const QByteArray& data);

// Calls take(offset, length) for each record newest first within its block,
// the blocks in file order, up to erased space; length is 8 but for a short
// last record. Stops early when take returns false.
template <typename Take> void forEachRecord(const QByteArray& data, Take take)
{
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const int size = data.size();
    const bool reverse = blocksOldestFirst(data);
    for (int block = 0; block < size; block += BlockSize) {
        const int blockEnd = qMin(size, block + BlockSize);
        const int count = (blockEnd - block + RecordSize - 1) / RecordSize;
        for (int i = 0; i < count; ++i) {
            const int start = block + RecordSize * (reverse ? count - 1 - i : i);
            if (isErased(bytes + start) || !take(start, qMin(RecordSize, blockEnd - start)))
                return;
        }
    }
}

} // namespace BinaryJournal
