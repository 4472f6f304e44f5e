#include "queue/queuetable.h"

#include <QHeaderView>
#include <QTimer>

bool NumberCell::operator<(const QTableWidgetItem& other) const
{
    if (other.type() == Type)
        return m_number < static_cast<const NumberCell&>(other).m_number;
    return QTableWidgetItem::operator<(other);
}

void QueueTable::setRowWidget(int row, int column, QWidget* widget)
{
    // Made out of sight: shown where it was made (over the first rows), it
    // would be painted, and weighed against every other cell widget, once for
    // each row made in the same pass.
    // Shown by the table as it is set, then hidden again: each of the two
    // costs a show and a hide with their events and repaints while the
    // viewport is visible, next to nothing while it is not. When a pass
    // brings many rows (a fleet queued in one loop of the host), the viewport
    // is hidden for the rest of it and shown with the widgets in view.
    // Sized, so that showing it does not measure it first; placed with
    // its row.
    widget->setGeometry(-32000, -32000, 1, 1);
    if (++m_rowsThisPass > manyRows && viewport()->isVisible()) {
        viewport()->hide();
        m_viewportHidden = true;
    }
    setCellWidget(row, column, widget);
    widget->hide();
    schedulePlacing();
}

void QueueTable::rowsInserted(const QModelIndex&, int, int)
{
    // The base class lays out the whole view and places every cell widget
    // again for each inserted row.
    schedulePlacing();
}

void QueueTable::schedulePlacing()
{
    if (m_placingPending)
        return;
    m_placingPending = true;
    QTimer::singleShot(0, this, [this] {
        m_placingPending = false;
        m_rowsThisPass = 0;
        if (m_viewportHidden) {
            m_viewportHidden = false;
            viewport()->show();
        }
        updateEditorGeometries();
    });
}

void QueueTable::scrollContentsBy(int dx, int dy)
{
    QTableWidget::scrollContentsBy(dx, dy);
    // Other rows have come into view.
    updateEditorGeometries();
}

void QueueTable::updateEditorGeometries()
{
    executeDelayedItemsLayout();
    QVector<QPointer<QWidget>> inView;
    const int rows = rowCount();
    if (rows > 0) {
        int first = rowAt(0);
        int last = rowAt(viewport()->height() - 1);
        if (first < 0)
            first = 0;
        if (last < 0)
            last = rows - 1;
        QStyleOptionViewItem option = itemOption();
        for (int row = first; row <= last; ++row) {
            if (isRowHidden(row))
                continue;
            for (int column = 0; column < columnCount(); ++column) {
                QWidget* widget = cellWidget(row, column);
                if (!widget)
                    continue;
                const QModelIndex index = model()->index(row, column);
                option.rect = visualRect(index);
                if (!option.rect.isValid())
                    continue;
                // As the base class places them.
                itemDelegate(index)->updateEditorGeometry(widget, option, index);
                widget->show();
                inView.append(widget);
            }
        }
    }
    for (const QPointer<QWidget>& widget : qAsConst(m_shown))
        if (widget && !inView.contains(widget))
            widget->hide();
    m_shown = inView;
}

QStyleOptionViewItem QueueTable::itemOption() const
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    return viewOptions();
#else
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    return option;
#endif
}

void QueueTable::fitRowsToContents()
{
    if (rowCount() == 0)
        return;
    const int height = sizeHintForRow(0);
    if (height > 0 && height != verticalHeader()->defaultSectionSize())
        verticalHeader()->setDefaultSectionSize(height);
}

bool QueueTable::isCut(const QModelIndex& index) const
{
    const QRect shown = visualRect(index);
    return shown.isValid() &&
           itemDelegate(index)->sizeHint(itemOption(), index).width() > shown.width();
}

void QueueTable::widenColumnFor(QTableWidgetItem* cell)
{
    const QModelIndex index = indexFromItem(cell);
    if (!index.isValid())
        return;
    // As the table measures each cell when it fits a column to its contents.
    const int width =
        itemDelegate(index)->sizeHint(itemOption(), index).width() + (showGrid() ? 1 : 0);
    if (width > columnWidth(index.column()))
        setColumnWidth(index.column(), width);
}

void QueueTable::removeRowsAt(const QVector<int>& rows)
{
    QAbstractItemModel* table = model();
    const auto removeRuns = [&] {
        for (int end = int(rows.size()) - 1; end >= 0;) {
            int start = end;
            while (start > 0 && rows.at(start - 1) == rows.at(start) - 1)
                --start;
            table->removeRows(rows.at(start), end - start + 1);
            end = start - 1;
        }
    };
    int runs = rows.isEmpty() ? 0 : 1;
    for (int i = 1; i < rows.size(); ++i)
        runs += rows.at(i) == rows.at(i - 1) + 1 ? 0 : 1;
    constexpr int fewRuns = 8;
    const int count = rowCount();
    QVector<NumberCell*> keys(count);
    for (int row = 0; row < count; ++row) {
        auto* cell = item(row, 0);
        keys[row] =
            cell && cell->type() == NumberCell::Type ? static_cast<NumberCell*>(cell) : nullptr;
    }
    if (runs <= fewRuns || keys.contains(nullptr)) {
        removeRuns();
        return;
    }
    // The rows to go after the others, each part in its present order; their
    // numbers are put back afterwards (setting them moves nothing).
    QVector<qint64> numbers(count);
    for (int row = 0, next = 0; row < count; ++row) {
        numbers[row] = keys.at(row)->value();
        const bool goes = next < rows.size() && rows.at(next) == row;
        next += goes ? 1 : 0;
        keys.at(row)->setValue((goes ? count : 0) + row);
    }
    table->sort(0, Qt::AscendingOrder);
    for (int row = 0; row < count; ++row)
        keys.at(row)->setValue(numbers.at(row));
    table->removeRows(count - int(rows.size()), int(rows.size()));
}
