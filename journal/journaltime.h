#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QVector>

#include "core/binaryjournal.h"

struct JournalRow;

// When journal records were written, and their order in time, without widgets.
// Times are seconds from a fixed origin (the Julian day times 86400 plus the
// time of day), so they subtract and bin as plain numbers.
namespace JournalTime {

// No real date and time.
constexpr qint64 Unknown = -1;
constexpr qint64 DaySeconds = 86400;

// The time of the given fields; Unknown when they name no real date and time.
qint64 fromFields(int year, int month, int day, int hour, int minute, int second);
// The time of fields each within its range (month 1 to 12, day 1 to 31, ...)
// without asking whether the day is one of that month: a day past a month's
// end counts on into the next month. Fast: no QDate is made.
qint64 of(int year, int month, int day, int hour, int minute, int second);
// The date and time of a time that is not Unknown.
QDateTime toDateTime(qint64 when);
// The years of yearless times walked from the newest back, by their months:
// the newest is of the year the journal was written in, or of the one before
// when its month lies six or more after that day's; walking back, a month six
// or more above the newer one's means the year before.
class YearWalk
{
public:
    explicit YearWalk(const QDate& written);
    int yearOf(int month);

private:
    int m_year;
    int m_newerMonth;
};

// Sets order and when of a binary journal's rows, given in the decoder's
// stream order (newest first) with their records' time words. Their order in
// time is that order: the key falls along the stream and stays while the
// time stamp does, so equal stamps keep the viewer's rule for equal times.
// The records carry no year: they get years by a YearWalk from
// the day the journal was written. A stamp that is no date and time of any
// year is Unknown; a 29 February in a year without one (a controller's clock
// that thought otherwise) is placed on the day after 28 February, so that the
// record keeps a place in time.
void setBinaryTimes(QVector<JournalRow>& rows, const QVector<quint32>& words, const QDate& written);

// The day a journal file was written, to count its records' years back from:
// its modification time, or today when that cannot be right (the epoch,
// before 2000, or more than a day ahead of now).
QDate writtenDate(const QDateTime& modified);

// A binary journal's time asked for without a year: the latest one with these
// fields that is not after newest (a time of the journal); Unknown when the
// fields name no real date and time.
qint64 latestNotAfter(int month, int day, const QTime& time, qint64 newest);

// The record (an index into when) that going to target reaches: among the
// records given oldest first, the first one written at or after target, or
// the last one written before it when none is; -1 when no record has a time.
int goTo(const QVector<int>& oldestFirst, const QVector<qint64>& when, qint64 target);

} // namespace JournalTime
