#pragma once

#include <QPointer>
#include <QTableWidget>
#include <QVector>

// A cell that sorts by a number of its own, not by its text ("15 blocks"
// before "124 blocks"). The number is set before the text, whose change
// moves the row.
class NumberCell : public QTableWidgetItem
{
public:
    static constexpr int Type = QTableWidgetItem::UserType + 1;

    NumberCell(qint64 number, const QString& text) : QTableWidgetItem(text, Type), m_number(number)
    {}
    qint64 value() const { return m_number; }
    void setValue(qint64 value) { m_number = value; }
    bool operator<(const QTableWidgetItem& other) const override;

private:
    qint64 m_number;
};

// The queue's table. Rows come one at a time, often thousands in one go, and
// each has a cell widget (its progress bar). Only the cell widgets of the rows
// in view are shown and placed, once per pass of the event loop rather than
// for every row that arrives: placing and showing thousands of widgets out of
// sight would freeze the window for as long as it takes.
class QueueTable : public QTableWidget
{
    Q_OBJECT

public:
    using QTableWidget::QTableWidget;

    // Fits the rows to their contents. Every row holds the same kind of
    // content, so one row's height is every row's: it becomes the height
    // all rows, and new ones, get without measuring each.
    void fitRowsToContents();
    // Widens the cell's column so that the cell's text is not cut, measuring
    // that cell alone (the whole column is measured only on demand).
    void widenColumnFor(QTableWidgetItem* cell);
    // Whether the cell's content is wider than the cell shows.
    bool isCut(const QModelIndex& index) const;

    // Removes the rows (ascending, each once) in a few calls of the model
    // however they lie; the others keep their order. Each call costs as much
    // as the rows and cell widgets there are, so rows far apart are brought
    // together first (by a stable sort on a key of the first column's
    // number cells) rather than removed one by one.
    void removeRowsAt(const QVector<int>& rows);

    // A new row's cell widget, hidden until its row comes into view.
    void setRowWidget(int row, int column, QWidget* widget);

protected:
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void updateEditorGeometries() override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void schedulePlacing();
    // The options the view draws and sizes its cells with.
    QStyleOptionViewItem itemOption() const;

    bool m_placingPending = false;
    static constexpr int manyRows = 32;
    int m_rowsThisPass = 0;
    bool m_viewportHidden = false;      // by setRowWidget, until the widgets are placed
    QVector<QPointer<QWidget>> m_shown; // the cell widgets in view, as last placed
};
