#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

struct JournalRow;

// The row order and cell layout of the journal viewer's table, without widgets.
namespace JournalOrder {

// Indices into rows (given in the order they are added) in the order the
// viewer's table shows them: newest first by their order in time
// (JournalRow::order), a later-added row above rows of an equal time.
// This is the order per-row insertion into the sorted table would give.
QVector<int> displayOrder(const QVector<JournalRow>& rows);

// 3 for a binary journal (Time, Message, Source), 4 for a text journal
// (Time, type, Message, Source).
int columnCount(bool textJournal);

// The text of a row's cell in the given table column.
QString cellText(const JournalRow& row, int column, bool textJournal);

} // namespace JournalOrder
