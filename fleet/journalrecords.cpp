#include "fleet/journalrecords.h"

#include <cstring>

QVector<JournalRecords::Record> JournalRecords::binary(const QByteArray& data)
{
    QVector<Record> records;
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    records.reserve((data.size() + BinaryJournal::RecordSize - 1) / BinaryJournal::RecordSize);
    BinaryJournal::forEachRecord(data, [&](int offset, int length) {
        Record r;
        r.offset = offset;
        r.length = length;
        r.time = RecordTime::fromTimeWord(BinaryJournal::timeWord(bytes + offset, length));
        records.append(r);
        return true;
    });
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

JournalRow JournalRecords::textRow(const char* line, int length)
{
    JournalRow row;
    if (JournalDecoder::readTextLine(line, line + length, row, true) !=
        JournalDecoder::TextLine::Row)
        return JournalRow();
    return row;
}
