#include "journal/journalrecords.h"

#include <cstring>

namespace {

// Whether record time a is earlier than b, for two valid yearless times
// close together: months more than half a year apart lie across a new year.
bool earlier(const RecordTime& a, const RecordTime& b)
{
    if (qAbs(a.month() - b.month()) > 6)
        return a.month() > b.month();
    return a.withYear(2000).key() < b.withYear(2000).key();
}

RecordTime timeAt(const uchar* record, int length)
{
    return RecordTime::fromTimeWord(JournalDecoder::timeWord(record, length));
}

// As the decoder finds the blocks' order, but a block that runs over a new
// year does not look reversed: the merge needs the records' true order to
// tell their years.
bool blocksOldestFirst(const QByteArray& data)
{
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const int size = data.size();
    const int rs = JournalDecoder::RecordSize;
    for (int block = 0; block < size; block += JournalDecoder::BlockSize) {
        const int blockEnd = qMin(size, block + JournalDecoder::BlockSize);
        for (int k = block; k + 2 * rs <= blockEnd; k += rs) {
            const RecordTime a = timeAt(bytes + k, rs);
            const RecordTime b = timeAt(bytes + k + rs, rs);
            if (!a.isValid() || !b.isValid() || a.key() == b.key())
                continue;
            if (earlier(a, b))
                return true;
            break; // newest first: the next block may still say otherwise
        }
    }
    return false;
}

} // namespace

QVector<JournalRecords::Record> JournalRecords::binary(const QByteArray& data)
{
    QVector<Record> records;
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const int size = data.size();
    const int rs = JournalDecoder::RecordSize;
    const int bs = JournalDecoder::BlockSize;
    records.reserve((size + rs - 1) / rs);
    const bool reverse = blocksOldestFirst(data);
    for (int block = 0; block < size; block += bs) {
        const int blockEnd = qMin(size, block + bs);
        const int count = (blockEnd - block + rs - 1) / rs;
        for (int i = 0; i < count; ++i) {
            const int start = block + rs * (reverse ? count - 1 - i : i);
            if (bytes[start] == 0xFF)
                return records;
            Record r;
            r.offset = start;
            r.length = qMin(rs, blockEnd - start);
            r.time = timeAt(bytes + start, r.length);
            records.append(r);
        }
    }
    return records;
}

QVector<JournalRecords::Record> JournalRecords::text(const QByteArray& data)
{
    QVector<Record> records;
    const char* const begin = data.constData();
    const char* const end = begin + data.size();
    const char* next = begin;
    while (const char* lineEnd = static_cast<const char*>(memchr(next, '\0', size_t(end - next)))) {
        const char* const line = next;
        next = lineEnd + 1;
        JournalRow row;
        const JournalDecoder::TextLine kind =
            JournalDecoder::readTextLine(line, lineEnd, row, false);
        if (kind == JournalDecoder::TextLine::End)
            break;
        if (kind == JournalDecoder::TextLine::Skip)
            continue;
        Record r;
        r.offset = int(line - begin);
        r.length = int(lineEnd - line);
        r.time = RecordTime::fromText(row.time);
        records.append(r);
    }
    return records;
}

JournalRow JournalRecords::binaryRow(const JournalDecoder& decoder, const char* record, int length)
{
    QVector<JournalRow> rows;
    decoder.addRecord(reinterpret_cast<const uchar*>(record), length, rows);
    return rows.constFirst();
}

JournalRow JournalRecords::textRow(const char* line, int length)
{
    JournalRow row;
    if (JournalDecoder::readTextLine(line, line + length, row, true) !=
        JournalDecoder::TextLine::Row)
        return JournalRow();
    return row;
}
