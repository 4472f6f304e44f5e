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

protected:
    void rowsInserted(const QModelIndex& parent, int start, int end) override;

private:
    bool placingPending = false;
};
