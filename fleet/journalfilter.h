#pragma once

#include "journal/recordtime.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

struct JournalRow;

// Which records of many journals are wanted: a time span, texts any of which
// a cell holds (letter case aside, Cyrillic included, as the viewer's quick
// search compares) and text-journal types. An empty filter takes everything.
class JournalFilter
{
public:
    // Inclusive bounds; an invalid time leaves that side open.
    void setSince(const RecordTime& since) { m_since = since; }
    void setUntil(const RecordTime& until) { m_until = until; }
    void addText(const QString& text);
    // "E", "W", "I" or any other type a text journal writes.
    void addType(const QString& type);

    // Whether acceptsRow() has anything to check: else the row need not be decoded.
    bool needsRow() const { return !m_texts.isEmpty() || !m_types.isEmpty(); }
    // Whether a binary record's time text ("dd.MM hh:mm:ss") can hold one of
    // the texts: else whether a binary row is taken depends on its message
    // and source alone.
    bool textsMayBeInTime() const;
    // A time that is not known (invalid, or without a year) is outside any bound.
    bool acceptsTime(const RecordTime& time) const;
    // A binary journal's rows have no type: a type filter takes none of them.
    bool acceptsRow(const JournalRow& row, bool textJournal) const;
    // The parts of acceptsRow() for a binary row, to be asked cell by cell: whether
    // any binary row can be taken, and whether a cell holds one of the texts.
    bool takesBinaryRows() const { return m_types.isEmpty(); }
    bool holdsText(const QString& cell) const;

    // "day.month[.year] hh:mm[:ss]"; without a year, the last such moment not
    // after now. Invalid when the text is not such a moment.
    static RecordTime parseMoment(const QString& text, const QDateTime& now);

private:
    RecordTime m_since;
    RecordTime m_until;
    QStringList m_texts;
    QStringList m_folded; // the texts folded for comparing, letter by letter
    QStringList m_types;
};
