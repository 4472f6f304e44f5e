#pragma once

#include <QTableWidget>
#include <QVector>

#include <functional>

struct JournalRow;
class JournalSearch;
class QTableView;

// The viewer's table of records: filled in display order at once, each row
// knowing its record, the Time column held at the left, rows kept hidden
// through a sort, and a search's matches selected in one go.
class JournalTable : public QTableWidget
{
    Q_OBJECT

public:
    explicit JournalTable(QWidget* parent = nullptr);
    ~JournalTable() override;

    // Fills the empty table (its columns set, their titles kept) with rows (given in the order they
    // are added), in the order that adding them one by one to the table sorted descending by Time
    // would give, without re-sorting per row; leaves sorting on. Gives the cell texts column by
    // column to search when it is given. Told how far it has come (0 to 1000), progress stops it
    // with false, and fill leaves the table empty. order, when given, receives the rows' indices
    // as the table shows them.
    bool fill(const QVector<JournalRow>& rows, bool textJournal, JournalSearch* search = nullptr,
              const std::function<bool(int permille)>& progress = {},
              QVector<int>* order = nullptr);

    // The cell's text; empty where it has no item.
    QString text(int row, int column) const;
    // The record of a table row (its index among the rows as added); -1 when none.
    int recordOfRow(int row) const;

    // Shows only the rows set in shown, also after a sort; empty: all rows.
    void showRows(const QVector<bool>& shown);
    // The rows not hidden, top to bottom; with selected, only those holding a selected cell.
    QVector<int> shownRows(bool selected = false) const;

    // Selects the cells (numbered column * rows + row) in one change, quietly,
    // unless they are the ones selected last and the user has not changed it since.
    void selectCells(const QVector<int>& cells, int rows);
    // A sort moved the selection with its cells: it now holds these.
    void selectionMovedTo(const QVector<int>& cells) { m_selected = cells; }

    // Makes the cell current and scrolls to it with a few rows around it, the
    // Time column in view.
    void showCell(int row, int column, bool selectRow = false);
    // Makes the record's row current and selected, and shows it.
    void showRecord(int record);
    // The Time column held at the left whatever the sideways scroll: a view of
    // the same model and selection showing only Time, laid over the table's.
    void freezeTimeColumn();
    void setDefaultRowHeight(int height);

signals:
    // A sort has moved the rows; the hidden ones are shown until showRows.
    void rowsRearranged();

protected:
    bool viewportEvent(QEvent* event) override;

private:
    void placeFrozenColumn();
    // Scrolls sideways so that the cell at index is not under the held Time column.
    void revealColumn(const QModelIndex& index);
    void setRowShown(int row, bool shown);
    // With updates off the headers do not work out every row's place per change.
    void setHeadersUpdating(bool on);

    QVector<bool> m_rowsShown;       // per row, while filtered
    QVector<int> m_selected;         // the cells selectCells selected last
    bool m_selectionTouched = false; // the user has changed the selection since
    QTableView* m_frozen = nullptr;  // the Time column, held at the left
};
