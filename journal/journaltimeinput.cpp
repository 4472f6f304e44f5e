#include "journal/journaltimeinput.h"

#include "journal/journaltime.h"

#include <QRegularExpression>
#include <QTime>

namespace JournalTimeInput {

qint64 parse(const QString& text, qint64 newest)
{
    // Day and month (and year) with dots, or year, month and day with dashes;
    // then the time of day, minutes required, seconds optional.
    static const QRegularExpression pattern(
        QStringLiteral("^(?:(?:(\\d{1,2})\\.(\\d{1,2})(?:\\.(\\d{2}|\\d{4}))?|"
                       "(\\d{4})-(\\d{1,2})-(\\d{1,2}))(?:\\s+|T))?"
                       "(\\d{1,2}):(\\d{2})(?::(\\d{2}))?$"));
    const QRegularExpressionMatch m = pattern.match(text.trimmed());
    if (!m.hasMatch())
        return JournalTime::Unknown;
    const auto number = [&m](int group) { return m.captured(group).toInt(); };
    const int hour = number(7);
    const int minute = number(8);
    const int second = number(9);
    const QTime time(hour, minute, second);
    if (!time.isValid())
        return JournalTime::Unknown;
    if (m.capturedLength(4) > 0)
        return JournalTime::fromFields(number(4), number(5), number(6), hour, minute, second);
    if (m.capturedLength(3) > 0) {
        // Two digits, as text journals write the year: this century.
        const int year = m.capturedLength(3) == 2 ? 2000 + number(3) : number(3);
        return JournalTime::fromFields(year, number(2), number(1), hour, minute, second);
    }
    if (m.capturedLength(1) > 0)
        return JournalTime::latestNotAfter(number(2), number(1), time, newest);
    if (newest < 0)
        return JournalTime::Unknown; // no journal time to count back from
    const qint64 day = newest - newest % JournalTime::DaySeconds;
    const qint64 sameDay = day + time.msecsSinceStartOfDay() / 1000;
    return sameDay <= newest ? sameDay : sameDay - JournalTime::DaySeconds;
}

QString describe(qint64 when)
{
    return when == JournalTime::Unknown
               ? QString()
               : JournalTime::toDateTime(when).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

} // namespace JournalTimeInput
