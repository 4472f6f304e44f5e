#include "journal/journaltime.h"

#include "journal/journalrow.h"

namespace JournalTime {

qint64 fromFields(int year, int month, int day, int hour, int minute, int second)
{
    const QDate date(year, month, day);
    if (!date.isValid() || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 59)
        return Unknown;
    return of(year, month, day, hour, minute, second);
}

qint64 of(int year, int month, int day, int hour, int minute, int second)
{
    // Days from the civil date (the proleptic Gregorian calendar), then the
    // Julian day: QDate's own numbering.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const qint64 julianDay = qint64(era) * 146097 + dayOfEra - 719468 + 2440588;
    return julianDay * DaySeconds + hour * 3600 + minute * 60 + second;
}

QDateTime toDateTime(qint64 when)
{
    return QDateTime(QDate::fromJulianDay(when / DaySeconds),
                     QTime(0, 0).addSecs(int(when % DaySeconds)));
}

YearWalk::YearWalk(const QDate& written) : m_year(written.year()), m_newerMonth(written.month()) {}

int YearWalk::yearOf(int month)
{
    // Going back in time the months rose by half a year or more: a new year
    // lay between. Less is a controller's clock set wrong, not a year.
    if (month - m_newerMonth >= 6)
        --m_year;
    m_newerMonth = month;
    return m_year;
}

void setBinaryTimes(QVector<JournalRow>& rows, const QVector<quint32>& words, const QDate& written)
{
    const int n = rows.size();
    YearWalk walk(written);
    for (int i = 0; i < n; ++i) {
        const BinaryJournal::Stamp s = BinaryJournal::Stamp::of(words.at(i));
        // A 29 February of a common year counts on into 1 March.
        rows[i].when = s.isValid()
                           ? of(walk.yearOf(s.month), s.month, s.day, s.hour, s.minute, s.second)
                           : Unknown;
    }
    // Equal time words, source aside, make equal stamps.
    qint64 key = 0;
    for (int i = n - 1; i >= 0; --i) {
        if (i < n - 1 && (words.at(i) ^ words.at(i + 1)) & 0x3FFFFFF)
            ++key;
        rows[i].order = key;
    }
}

QDate writtenDate(const QDateTime& modified)
{
    const QDateTime now = QDateTime::currentDateTime();
    if (!modified.isValid() || modified.toSecsSinceEpoch() <= 0 || modified.date().year() < 2000 ||
        modified > now.addDays(1))
        return now.date();
    return modified.date();
}

qint64 latestNotAfter(int month, int day, const QTime& time, qint64 newest)
{
    const int newestYear = newest >= 0 ? int(QDate::fromJulianDay(newest / DaySeconds).year())
                                       : QDate::currentDate().year();
    // 29 February is looked for in the latest leap year.
    for (int year = newestYear; year > newestYear - 8; --year) {
        const qint64 t = fromFields(year, month, day, time.hour(), time.minute(), time.second());
        if (t != Unknown && (newest < 0 || t <= newest))
            return t;
    }
    return Unknown;
}

int goTo(const QVector<int>& oldestFirst, const QVector<qint64>& when, qint64 target)
{
    int before = -1;
    for (const int record : oldestFirst) {
        const qint64 t = when.at(record);
        if (t == Unknown)
            continue;
        if (t >= target)
            return record;
        before = record;
    }
    return before;
}

} // namespace JournalTime
