#include "journal/recordtime.h"

#include "journal/journaldecoder.h"

#include <QDate>
#include <QRegularExpression>

RecordTime::RecordTime(int year, int month, int day, int hour, int minute, int second)
    : m_year(qint16(year)), m_month(qint8(month)), m_day(qint8(day)), m_hour(qint8(hour)),
      m_minute(qint8(minute)), m_second(qint8(second))
{}

RecordTime RecordTime::fromTimeWord(quint32 word)
{
    const JournalDecoder::TimeFields f = JournalDecoder::timeFields(word);
    return RecordTime(0, f.month, f.day, f.hour, f.minute, f.second);
}

RecordTime RecordTime::fromText(const QString& dateAndTime)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^(\\d{1,2})\\.(\\d{1,2})\\.(\\d{2}|\\d{4}) +(\\d{1,2}):(\\d{2})(?::(\\d{2}))?$"));
    const QRegularExpressionMatch m = pattern.match(dateAndTime);
    if (!m.hasMatch())
        return RecordTime();
    int year = m.captured(3).toInt();
    if (m.capturedLength(3) == 2)
        year += 2000;
    const RecordTime t(year, m.captured(2).toInt(), m.captured(1).toInt(), m.captured(4).toInt(),
                       m.captured(5).toInt(), m.captured(6).toInt());
    return t.isValid() ? t : RecordTime();
}

RecordTime RecordTime::fromDateTime(const QDateTime& moment)
{
    const QDate d = moment.date();
    const QTime t = moment.time();
    return RecordTime(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

bool RecordTime::isValid() const
{
    if (m_month < 1 || m_month > 12 || m_day < 1 || m_hour < 0 || m_hour > 23 || m_minute < 0 ||
        m_minute > 59 || m_second < 0 || m_second > 59)
        return false;
    // Without a year, 29 February may be right: a leap year stands for all.
    return m_day <= QDate(hasYear() ? m_year : 2000, m_month, 1).daysInMonth();
}

RecordTime RecordTime::withYear(int year) const
{
    RecordTime t = *this;
    t.m_year = qint16(year);
    return t;
}

qint64 RecordTime::key() const
{
    return ((((qint64(m_year) * 16 + m_month) * 32 + m_day) * 32 + m_hour) * 64 + m_minute) * 64 +
           m_second;
}

int RecordTime::yearOfKey(qint64 key)
{
    return int(key / (qint64(16) * 32 * 32 * 64 * 64));
}

QString RecordTime::toIso() const
{
    if (!hasYear() || !isValid())
        return QString();
    return QStringLiteral("%1-%2-%3T%4:%5:%6")
        .arg(int(m_year), 4, 10, QLatin1Char('0'))
        .arg(int(m_month), 2, 10, QLatin1Char('0'))
        .arg(int(m_day), 2, 10, QLatin1Char('0'))
        .arg(int(m_hour), 2, 10, QLatin1Char('0'))
        .arg(int(m_minute), 2, 10, QLatin1Char('0'))
        .arg(int(m_second), 2, 10, QLatin1Char('0'));
}

void RecordTime::inferYears(QVector<RecordTime>& newestFirst, const QDateTime& written)
{
    const RecordTime latest = fromDateTime(written.addDays(1));
    int year = written.date().year();
    int laterMonth = 0; // the month of the record after this one; 0 before the newest
    for (RecordTime& t : newestFirst) {
        if (t.hasYear() || !t.isValid())
            continue;
        if (laterMonth == 0) {
            if (t.withYear(year).key() > latest.key())
                --year;
        } else if (t.m_month > laterMonth) {
            --year;
        }
        laterMonth = t.m_month;
        t.m_year = qint16(year);
    }
}
