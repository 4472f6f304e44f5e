#include "journal/recordtime.h"

#include "core/binaryjournal.h"
#include "journal/journaltime.h"

#include <QDate>

RecordTime::RecordTime(int year, int month, int day, int hour, int minute, int second)
    : m_year(qint16(year)), m_month(qint8(month)), m_day(qint8(day)), m_hour(qint8(hour)),
      m_minute(qint8(minute)), m_second(qint8(second))
{}

RecordTime RecordTime::fromTimeWord(quint32 word)
{
    const BinaryJournal::Stamp s = BinaryJournal::Stamp::of(word);
    return RecordTime(0, s.month, s.day, s.hour, s.minute, s.second);
}

RecordTime RecordTime::fromText(const QString& text)
{
    int pos = 0;
    // Between min and max decimal digits at pos; -1 when fewer.
    const auto digits = [&](int min, int max) {
        int value = 0;
        const int start = pos;
        while (pos < text.size() && pos - start < max && text.at(pos).isDigit())
            value = value * 10 + text.at(pos++).digitValue();
        return pos - start >= min ? value : -1;
    };
    const auto skip = [&](char c) {
        const bool found = pos < text.size() && text.at(pos) == QLatin1Char(c);
        pos += found ? 1 : 0;
        return found;
    };
    const auto spaces = [&] {
        const int start = pos;
        while (pos < text.size() && text.at(pos).isSpace())
            ++pos;
        return pos > start;
    };

    spaces();
    const int day = digits(1, 2);
    const int month = skip('.') ? digits(1, 2) : -1;
    if (!skip('.'))
        return RecordTime();
    const int yearStart = pos;
    int year = digits(2, 4);
    if (pos - yearStart == 2)
        year += 2000;
    else if (pos - yearStart != 4)
        return RecordTime();
    const bool apart = spaces();
    const int hour = digits(1, 2);
    const int minute = skip(':') ? digits(2, 2) : -1;
    const int second = skip(':') ? digits(2, 2) : 0;
    spaces();
    if (day < 0 || month < 0 || !apart || hour < 0 || minute < 0 || second < 0 ||
        pos != text.size())
        return RecordTime();
    const RecordTime t(year, month, day, hour, minute, second);
    return t.hasYear() && t.isValid() ? t : RecordTime();
}

RecordTime RecordTime::fromDateTime(const QDateTime& moment)
{
    const QDate d = moment.date();
    const QTime t = moment.time();
    return RecordTime(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

namespace {

// Days in a month as QDate counts them (no year 0), without making a QDate:
// this is asked of every record.
int daysInMonth(int year, int month)
{
    if (year == 0 || month < 1 || month > 12)
        return 0;
    if (month == 2) {
        const int y = year < 0 ? year + 1 : year;
        return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0) ? 29 : 28;
    }
    return month == 4 || month == 6 || month == 9 || month == 11 ? 30 : 31;
}

} // namespace

bool RecordTime::isValid() const
{
    // The rule of a binary record's stamp, and a year's own February.
    BinaryJournal::Stamp stamp;
    stamp.month = m_month;
    stamp.day = m_day;
    stamp.hour = m_hour;
    stamp.minute = m_minute;
    stamp.second = m_second;
    return stamp.isValid() && m_hour >= 0 && m_minute >= 0 && m_second >= 0 &&
           (!hasYear() || m_day <= daysInMonth(m_year, m_month));
}

RecordTime RecordTime::withYear(int year) const
{
    RecordTime t = *this;
    t.m_year = qint16(year);
    return t;
}

qint64 RecordTime::key() const
{
    // The viewer's number for when a record was written (JournalTime).
    return JournalTime::of(m_year, m_month, m_day, m_hour, m_minute, m_second);
}

int RecordTime::yearOfKey(qint64 key)
{
    return QDate::fromJulianDay(key / JournalTime::DaySeconds).year();
}

QString RecordTime::toIso() const
{
    if (!hasYear() || !isValid())
        return QString();
    // Written digit by digit: every record of a fleet's output has one. The
    // year takes four digits, or five past 9999.
    const int y = m_year > 9999 ? 5 : 4;
    QChar text[21];
    const auto put = [&text](int at, int value, int digits, char after) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + i] = QLatin1Char(char('0' + value % 10));
        text[at + digits] = QLatin1Char(after);
    };
    put(0, m_year, y, '-');
    put(y + 1, m_month, 2, '-');
    put(y + 4, m_day, 2, 'T');
    put(y + 7, m_hour, 2, ':');
    put(y + 10, m_minute, 2, ':');
    put(y + 13, m_second, 2, '\0');
    return QString(text, y + 15);
}

qint64 RecordTime::when() const
{
    return isValid() ? JournalTime::fromFields(m_year, m_month, m_day, m_hour, m_minute, m_second)
                     : JournalTime::Unknown;
}

void RecordTime::inferYears(QVector<RecordTime>& newestFirst, const QDate& written)
{
    JournalTime::YearWalk walk(written);
    for (RecordTime& t : newestFirst)
        if (!t.hasYear() && t.isValid())
            t.m_year = qint16(walk.yearOf(t.m_month));
}
