#include "journal/journalorder.h"

#include "journal/journaldecoder.h"

#include <algorithm>

namespace JournalOrder {

QVector<int> displayOrder(const QVector<JournalRow>& rows)
{
    const int n = rows.size();
    QVector<int> order(n);
    // Later rows first, then a stable sort: among equal times the later
    // row stays above, as sorted insertion places a new row above its equals.
    for (int i = 0; i < n; ++i)
        order[i] = n - 1 - i;
    // Journals usually arrive ordered already; spare the sort then.
    const auto greater = [&rows](int a, int b) { return rows.at(b).order < rows.at(a).order; };
    if (!std::is_sorted(order.begin(), order.end(), greater))
        std::stable_sort(order.begin(), order.end(), greater);
    return order;
}

int columnCount(bool textJournal)
{
    return textJournal ? 4 : 3;
}

QString cellText(const JournalRow& row, int column, bool textJournal)
{
    // A binary journal's rows have no type column.
    if (!textJournal && column >= 1)
        ++column;
    switch (column) {
    case 0:
        return row.time;
    case 1:
        return row.type;
    case 2:
        return row.message;
    case 3:
        return row.source;
    }
    return QString();
}

} // namespace JournalOrder
