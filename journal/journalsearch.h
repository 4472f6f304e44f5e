#pragma once

#include <QString>
#include <QVector>

// The viewer's quick search without widgets: the cell texts column by column,
// each column top to bottom as shown, scanned case-insensitively in slices so
// that a new search text can replace one still running.
class JournalSearch
{
public:
    // texts holds rows * columns cells, column by column.
    void setCells(int rows, int columns, QVector<QString> texts);
    void setCell(int row, int column, const QString& text);
    int rows() const { return m_rows; }
    const QString& cell(int row, int column) const { return m_cells.at(column * m_rows + row); }
    int columns() const { return m_columns; }

    // Starts over with text; an empty text matches nothing and is done at once.
    void start(const QString& text);
    // Scans up to maxCells more cells; true when the search is complete.
    bool proceed(int maxCells);
    bool isDone() const { return m_done; }
    QString text() const { return m_text; }

    // Matching cells in the order they are counted: column by column, each
    // top to bottom, as cell numbers column * rows + row.
    const QVector<int>& matches() const { return m_matches; }
    int rowOf(int match) const { return m_matches.at(match) % m_rows; }
    int columnOf(int match) const { return m_matches.at(match) / m_rows; }

    // The position in matches() of the nearest match after (next) or before
    // (previous) the cell at row, column in reading order (row by row, each
    // left to right, as the operator reads the table), wrapping around; -1
    // when nothing matches. A row of -1 stands before the first cell (or,
    // going back, after the last) and wraps nothing; a column of -1 stands
    // before the row's first cell, so next(row, -1) finds a match in that row
    // too. wrapped, when given, tells whether the search went past the end (or
    // the start) to get there.
    int next(int row, int column, bool* wrapped = nullptr) const;
    int previous(int row, int column, bool* wrapped = nullptr) const;
    // The place of a match (a position in matches()) in reading order, from 1.
    int ordinal(int match) const;

    // Per row, whether any of its cells matches (all false before the end).
    QVector<bool> matchingRows() const;

private:
    // The positions in matches() of the first match in column at or below row.
    int firstInColumn(int column, int row) const;

    QVector<QString> m_cells;
    int m_rows = 0;
    int m_columns = 0;

    QString m_text;
    QVector<int> m_matches;
    bool m_done = true;
    // Scanning all cells from m_position, or only the matches of a shorter
    // text that the current one contains (typing on narrows the search).
    QVector<int> m_candidates;
    bool m_narrowing = false;
    int m_position = 0;
    // The last complete search, for narrowing; cleared when a cell changes.
    QString m_doneText;
    QVector<int> m_doneMatches;
};
