#include "journal/journaltime.h"

#include "journal/journaldecoder.h"
#include "journal/recordtime.h"

namespace JournalTime {

namespace {

inline int twoDigits(const QChar* p)
{
    return p[0].digitValue() * 10 + p[1].digitValue();
}

} // namespace

qint64 fromFields(int year, int month, int day, int hour, int minute, int second)
{
    const QDate date(year, month, day);
    if (!date.isValid() || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 59)
        return Unknown;
    return date.toJulianDay() * DaySeconds + hour * 3600 + minute * 60 + second;
}

QDateTime toDateTime(qint64 when)
{
    return QDateTime(QDate::fromJulianDay(when / DaySeconds),
                     QTime(0, 0).addSecs(int(when % DaySeconds)));
}

qint64 fromText(const QString& text)
{
    const RecordTime t = RecordTime::fromText(text);
    return t.isValid() ? fromFields(t.year(), t.month(), t.day(), t.hour(), t.minute(), t.second())
                       : Unknown;
}

void setBinaryTimes(QVector<JournalRow>& rows, const QDate& today)
{
    const int n = rows.size();
    // The decoder writes every field in two digits: "dd.MM hh:mm:ss".
    RecordTime::YearWalk walk(today);
    for (int i = 0; i < n; ++i) {
        JournalRow& row = rows[i];
        row.when = Unknown;
        if (row.time.size() != 14)
            continue;
        const QChar* t = row.time.constData();
        const int month = twoDigits(t + 3);
        if (month < 1 || month > 12)
            continue;
        row.when = fromFields(walk.yearOf(month), month, twoDigits(t), twoDigits(t + 6),
                              twoDigits(t + 9), twoDigits(t + 12));
    }
    qint64 key = 0;
    for (int i = n - 1; i >= 0; --i) {
        if (i < n - 1 && rows.at(i).time != rows.at(i + 1).time)
            ++key;
        rows[i].order = key;
    }
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
