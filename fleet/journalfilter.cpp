#include "fleet/journalfilter.h"

#include "journal/journaltime.h"
#include "journal/journaltimeinput.h"

#include "journal/journaldecoder.h"

#include <algorithm>

namespace {

inline QChar folded(QChar c)
{
    const ushort u = c.unicode();
    if (u < 0x80)
        return u >= 'A' && u <= 'Z' ? QChar(u + ('a' - 'A')) : c;
    return c.toCaseFolded();
}

// Whether cell holds the text, letter case aside, exactly as
// QString::contains(text, Qt::CaseInsensitive) finds it, but without folding
// the whole cell: every character is folded once, and only where the text's
// first letter is does the rest get compared. The folded text holds no
// surrogates, so a pair in the cell never matches either way.
bool holdsFolded(const QString& cell, const QString& text)
{
    const int n = cell.size();
    const int m = text.size();
    if (m > n)
        return false;
    const QChar* c = cell.constData();
    const QChar* t = text.constData();
    for (int i = 0; i + m <= n; ++i) {
        if (folded(c[i]) != t[0])
            continue;
        int k = 1;
        while (k < m && folded(c[i + k]) == t[k])
            ++k;
        if (k == m)
            return true;
    }
    return false;
}

} // namespace

void JournalFilter::addText(const QString& text)
{
    m_texts.append(text);
    QString f = text;
    const bool plain =
        std::none_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSurrogate(); });
    for (QChar& c : f)
        c = folded(c);
    // Empty: compared as QString does it.
    m_folded.append(plain && !text.isEmpty() ? f : QString());
}

bool JournalFilter::holdsText(const QString& cell) const
{
    for (int i = 0; i < m_texts.size(); ++i) {
        const QString& f = m_folded.at(i);
        if (f.isEmpty() ? cell.contains(m_texts.at(i), Qt::CaseInsensitive) : holdsFolded(cell, f))
            return true;
    }
    return false;
}

void JournalFilter::addType(const QString& type)
{
    m_types.append(type);
}

bool JournalFilter::textsMayBeInTime() const
{
    const QString timeCharacters = QStringLiteral("0123456789.: ");
    for (const QString& text : m_texts) {
        const bool fits = std::all_of(text.cbegin(), text.cend(),
                                      [&](QChar c) { return timeCharacters.contains(c); });
        if (fits)
            return true;
    }
    return false;
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
    return holdsText(row.message) || holdsText(row.source) || holdsText(row.time) ||
           (textJournal && holdsText(row.type));
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
