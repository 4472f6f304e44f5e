#include "journal/journalsearch.h"

#include <algorithm>

void JournalSearch::setCells(int rows, int columns, QVector<QString> texts)
{
    Q_ASSERT(texts.size() == rows * columns);
    m_cells = std::move(texts);
    m_rows = rows;
    m_columns = columns;
    start(QString()); // forgets the matches of the former cells too
}

void JournalSearch::setCell(int row, int column, const QString& text)
{
    m_cells[column * m_rows + row] = text;
    // Earlier matches no longer tell which cells a longer text can match.
    m_doneText.clear();
    m_doneMatches.clear();
}

void JournalSearch::start(const QString& text)
{
    // A cleared field starts the next search afresh.
    if (text.isEmpty()) {
        m_doneText.clear();
        m_doneMatches.clear();
    }
    m_text = text;
    m_matches.clear();
    m_position = 0;
    m_narrowing = !m_doneText.isEmpty() && text.contains(m_doneText, Qt::CaseInsensitive);
    // Case-insensitive matching folds letter by letter, so a cell holding the
    // new text holds every part of it.
    m_candidates = m_narrowing ? m_doneMatches : QVector<int>();
    m_done = text.isEmpty();
}

bool JournalSearch::proceed(int maxCells)
{
    if (m_done)
        return true;
    const QString* cells = m_cells.constData();
    // Over positions 0..total, the cell at each given by cellAt.
    const auto scan = [&](int total, auto cellAt) {
        // Counted from what is left: maxCells may be INT_MAX (finish now).
        const int end = m_position + qMin(maxCells, total - m_position);
        for (int i = m_position; i < end; ++i) {
            const int cell = cellAt(i);
            if (cells[cell].contains(m_text, Qt::CaseInsensitive))
                m_matches.append(cell);
        }
        m_position = end;
        return end == total;
    };
    m_done = m_narrowing ? scan(m_candidates.size(), [this](int i) { return m_candidates.at(i); })
                         : scan(m_cells.size(), [](int i) { return i; });
    if (m_done) {
        m_candidates.clear();
        m_doneText = m_text;
        m_doneMatches = m_matches;
    }
    return m_done;
}

int JournalSearch::firstInColumn(int column, int row) const
{
    // Matches are kept column by column, so each column's are one sorted run.
    return int(std::lower_bound(m_matches.cbegin(), m_matches.cend(), column * m_rows + row) -
               m_matches.cbegin());
}

int JournalSearch::next(int row, int column, bool* wrapped) const
{
    if (wrapped)
        *wrapped = false;
    if (m_matches.isEmpty())
        return -1;
    // The first match of each column after the cell; the nearest of them in
    // reading order: the least row, then the least column.
    int best = -1;
    int bestRow = m_rows;
    for (int c = 0; c < m_columns; ++c) {
        const int from = row < 0 ? 0 : c > column ? row : row + 1;
        if (from >= m_rows)
            continue;
        const int i = firstInColumn(c, from);
        if (i < m_matches.size() && m_matches.at(i) / m_rows == c && rowOf(i) < bestRow) {
            best = i;
            bestRow = rowOf(i);
        }
    }
    if (best >= 0)
        return best;
    if (wrapped)
        *wrapped = row >= 0;
    return row >= 0 ? next(-1, 0) : -1;
}

int JournalSearch::previous(int row, int column, bool* wrapped) const
{
    if (wrapped)
        *wrapped = false;
    if (m_matches.isEmpty())
        return -1;
    // The last match of each column before the cell; the nearest of them in
    // reading order: the greatest row, then the greatest column.
    int best = -1;
    int bestRow = -1;
    for (int c = 0; c < m_columns; ++c) {
        const int to = row < 0 ? m_rows : c < column ? row + 1 : row; // rows before this one
        const int i = firstInColumn(c, to) - 1;
        if (i >= 0 && m_matches.at(i) / m_rows == c && rowOf(i) >= bestRow) {
            best = i;
            bestRow = rowOf(i);
        }
    }
    if (best >= 0)
        return best;
    if (wrapped)
        *wrapped = row >= 0;
    return row >= 0 ? previous(-1, 0) : -1;
}

int JournalSearch::ordinal(int match) const
{
    const int row = rowOf(match);
    const int column = columnOf(match);
    // Those above it in every column, and those left of it in its row.
    int before = 0;
    for (int c = 0; c < m_columns; ++c)
        before += firstInColumn(c, c < column ? row + 1 : row) - firstInColumn(c, 0);
    return before + 1;
}

QVector<bool> JournalSearch::matchingRows() const
{
    QVector<bool> rows(m_rows, false);
    if (m_done) {
        for (const int cell : m_matches)
            rows[cell % m_rows] = true;
    }
    return rows;
}
