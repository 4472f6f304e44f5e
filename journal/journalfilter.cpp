#include "journal/journalfilter.h"

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
    RecordTime t = RecordTime::parse(text);
    if (!t.isValid() || t.hasYear())
        return t;
    // Without a year: the last such moment up to now.
    t = t.withYear(now.date().year());
    if (t.key() > RecordTime::fromDateTime(now).key())
        t = t.withYear(t.year() - 1);
    // 29 February of a year that has none is no moment.
    return t.isValid() ? t : RecordTime();
}
