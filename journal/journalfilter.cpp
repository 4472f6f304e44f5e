#include "journal/journalfilter.h"

#include "journal/journaltime.h"
#include "journal/journaltimeinput.h"

#include "journal/journaldecoder.h"

void JournalFilter::addText(const QString& text)
{
    m_texts.append(text);
}

void JournalFilter::addType(const QString& type)
{
    m_types.append(type);
}

bool JournalFilter::acceptsTime(const RecordTime& time) const
{
    const bool bounded = m_since.isValid() || m_until.isValid();
    if (!bounded)
        return true;
    if (!time.hasYear() || !time.isValid())
        return false;
    return (!m_since.isValid() || time.key() >= m_since.key()) &&
           (!m_until.isValid() || time.key() <= m_until.key());
}

bool JournalFilter::acceptsRow(const JournalRow& row, bool textJournal) const
{
    if (!m_types.isEmpty()) {
        if (!textJournal)
            return false;
        bool typeMatches = false;
        for (const QString& type : m_types)
            typeMatches = typeMatches || row.type.compare(type, Qt::CaseInsensitive) == 0;
        if (!typeMatches)
            return false;
    }
    if (m_texts.isEmpty())
        return true;
    for (const QString& text : m_texts) {
        if (row.message.contains(text, Qt::CaseInsensitive) ||
            row.source.contains(text, Qt::CaseInsensitive) ||
            row.time.contains(text, Qt::CaseInsensitive) ||
            (textJournal && row.type.contains(text, Qt::CaseInsensitive)))
            return true;
    }
    return false;
}

RecordTime JournalFilter::parseMoment(const QString& text, const QDateTime& now)
{
    // The days people name by a word, at midnight or at a time given after it.
    const QString trimmed = text.trimmed();
    for (const auto& word :
         {qMakePair(QStringLiteral("today"), 0), qMakePair(QStringLiteral("yesterday"), -1)}) {
        if (!trimmed.startsWith(word.first, Qt::CaseInsensitive))
            continue;
        const QString rest = trimmed.mid(word.first.size()).trimmed();
        const QDate day = now.date().addDays(word.second);
        const QTime time = rest.isEmpty() ? QTime(0, 0)
                           : QTime::fromString(rest, QStringLiteral("H:mm")).isValid()
                               ? QTime::fromString(rest, QStringLiteral("H:mm"))
                               : QTime::fromString(rest, QStringLiteral("H:mm:ss"));
        return time.isValid() ? RecordTime::fromDateTime(QDateTime(day, time)) : RecordTime();
    }
    // An ISO day alone: from its midnight.
    const QDate isoDay = QDate::fromString(trimmed, Qt::ISODate);
    if (isoDay.isValid() && trimmed.size() == 10)
        return RecordTime::fromDateTime(QDateTime(isoDay, QTime(0, 0)));
    // Otherwise as the viewer's go-to reads it; what it leaves out is the
    // last such moment up to now (29 February: the last one there was).
    const RecordTime current = RecordTime::fromDateTime(now);
    const qint64 when = JournalTimeInput::parse(
        trimmed, JournalTime::fromFields(current.year(), current.month(), current.day(),
                                         current.hour(), current.minute(), current.second()));
    return when == JournalTime::Unknown ? RecordTime()
                                        : RecordTime::fromDateTime(JournalTime::toDateTime(when));
}
