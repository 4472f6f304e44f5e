#pragma once

#include <QString>

// One row of the journal viewer's table.
struct JournalRow
{
    QString time;
    QString type; // empty for binary journals
    QString message;
    QString source;
    // The key the Time column sorts by (greater is newer), and when the record
    // was written (JournalTime's seconds, JournalTime::Unknown when not known).
    qint64 order = 0;
    qint64 when = -1;
};
