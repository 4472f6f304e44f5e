#include "queue/queuetable.h"

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
