#pragma once

#include "journal/journaldecoder.h"
#include "journal/recordtime.h"

#include <QByteArray>
#include <QVector>

// Where a journal's records lie, in the order the viewer adds them (newest
// first as stored), so that each can be decoded alone and when needed: many
// journals are searched and merged without holding all their rows.
class JournalRecords
{
public:
    struct Record
    {
        int offset = 0;
        int length = 0; // a binary record's bytes (8 but for a short last one), a text line's
        RecordTime time;
    };

    // Binary: the decoder's record stream up to erased space, times without a year.
    static QVector<Record> binary(const QByteArray& data);
    // Text: the lines that make rows, without their NUL; times as the lines give them.
    static QVector<Record> text(const QByteArray& data);

    // The row of a text line (without its NUL); a binary record's is the
    // decoder's row().
    static JournalRow textRow(const char* line, int length);
};
