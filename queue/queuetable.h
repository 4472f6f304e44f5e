#pragma once

#include <QTableWidget>

// The queue's table. Rows come one at a time, often thousands in one go:
// the cell widgets are placed once per pass of the event loop, not again for
// every row that arrives.
class QueueTable : public QTableWidget
{
    Q_OBJECT

public:
    explicit QueueTable(QWidget* parent = nullptr);

    // Fits the rows to their contents. Every row holds the same kind of
    // content, so one row's height is every row's: it becomes the height
    // all rows, and new ones, get without measuring each.
    void fitRowsToContents();
    // Widens the cell's column so that the cell's text is not cut, measuring
    // that cell alone (the whole column is measured only on demand).
    void widenColumnFor(QTableWidgetItem* cell);

protected:
    void rowsInserted(const QModelIndex& parent, int start, int end) override;

private:
    bool placingPending = false;
};
