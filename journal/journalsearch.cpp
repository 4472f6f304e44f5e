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

int JournalSearch::next(int row, int column, bool* wrapped) const
{
    if (wrapped)
        *wrapped = false;
    if (m_matches.isEmpty())
        return -1;
    const int cell = row < 0 ? -1 : column * m_rows + row;
    const auto it = std::upper_bound(m_matches.cbegin(), m_matches.cend(), cell);
    if (it != m_matches.cend())
        return int(it - m_matches.cbegin());
    if (wrapped)
        *wrapped = true;
    return 0;
}

int JournalSearch::previous(int row, int column, bool* wrapped) const
{
    if (wrapped)
        *wrapped = false;
    if (m_matches.isEmpty())
        return -1;
    if (row < 0)
        return m_matches.size() - 1;
    const auto it = std::lower_bound(m_matches.cbegin(), m_matches.cend(), column * m_rows + row);
    if (it != m_matches.cbegin())
        return int(it - m_matches.cbegin()) - 1;
    if (wrapped)
        *wrapped = true;
    return m_matches.size() - 1;
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
