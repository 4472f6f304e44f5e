#include "queue/queuetable.h"

#include <QHeaderView>
#include <QTimer>

QueueTable::QueueTable(QWidget* parent) : QTableWidget(parent) {}

void QueueTable::rowsInserted(const QModelIndex& parent, int start, int end)
{
    Q_UNUSED(parent);
    Q_UNUSED(start);
    Q_UNUSED(end);
    // The base class lays out the whole view and places every cell widget
    // again for each inserted row while the table is shown, which makes
    // queuing many lights quadratic.
    if (placingPending)
        return;
    placingPending = true;
    QTimer::singleShot(0, this, [this] {
        placingPending = false;
        updateEditorGeometries();
    });
}

void QueueTable::fitRowsToContents()
{
    if (rowCount() == 0)
        return;
    const int height = sizeHintForRow(0);
    if (height > 0 && height != verticalHeader()->defaultSectionSize())
        verticalHeader()->setDefaultSectionSize(height);
}

void QueueTable::widenColumnFor(QTableWidgetItem* cell)
{
    const QModelIndex index = indexFromItem(cell);
    if (!index.isValid())
        return;
    // As the table measures each cell when it fits a column to its contents.
    const int width =
        itemDelegate(index)->sizeHint(viewOptions(), index).width() + (showGrid() ? 1 : 0);
    if (width > columnWidth(index.column()))
        setColumnWidth(index.column(), width);
}
