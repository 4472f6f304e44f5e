#include "journal/journaltable.h"

#include "journal/journalorder.h"
#include "journal/journalrow.h"
#include "journal/journalsearch.h"

#include <QEvent>
#include <QHeaderView>
#include <QItemSelection>
#include <QScrollBar>
#include <QSet>
#include <QSignalBlocker>
#include <QTableView>

namespace {

// A cell that keeps its text as a plain string instead of a list of role
// values: a large journal has hundreds of thousands of cells. Once the text is
// set again (the user edits the cell) the ordinary role values take over.
class JournalTableItem : public QTableWidgetItem
{
public:
    static constexpr int ItemType = QTableWidgetItem::UserType + 1;

    // A null m_text marks a replaced text, so an empty one is kept as "".
    explicit JournalTableItem(const QString& text, int type = ItemType)
        : QTableWidgetItem(type), m_text(text.isNull() ? QLatin1String("") : text)
    {}

    QVariant data(int role) const override
    {
        if (!m_text.isNull() && (role == Qt::DisplayRole || role == Qt::EditRole))
            return m_text;
        return QTableWidgetItem::data(role);
    }

    void setData(int role, const QVariant& value) override
    {
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            m_text = QString();
        QTableWidgetItem::setData(role, value);
    }

    QTableWidgetItem* clone() const override { return new JournalTableItem(*this); }

private:
    QString m_text;
};

// A Time cell: sorts by when its record was written, not by its text, and
// knows its record (its index in the order rows were added).
class JournalTimeItem : public JournalTableItem
{
public:
    static constexpr int ItemType = QTableWidgetItem::UserType + 2;

    JournalTimeItem(const QString& text, qint64 key, int record)
        : JournalTableItem(text, ItemType), m_key(key), m_record(record)
    {}

    bool operator<(const QTableWidgetItem& other) const override
    {
        if (other.type() == ItemType)
            return m_key < static_cast<const JournalTimeItem&>(other).m_key;
        return QTableWidgetItem::operator<(other);
    }

    QTableWidgetItem* clone() const override { return new JournalTimeItem(*this); }

    int record() const { return m_record; }

private:
    qint64 m_key;
    int m_record;
};

// Fill reports progress every this many rows.
constexpr int ProgressRows = 8192;

} // namespace

JournalTable::JournalTable(QWidget* parent) : QTableWidget(parent)
{
    // A sort with rows hidden: the row header would keep each hidden row as a
    // persistent index through it and hide it again one by one after it, far
    // dearer than the sort itself. So the rows are all shown before the header
    // hears of the sort, and the owner hides the new order's rows again on
    // rowsRearranged. Updates stay off meanwhile. The header is attached to the
    // model again so that this runs before its own handler; the table is empty
    // yet, so it loses nothing.
    QAbstractItemModel* model = this->model();
    QHeaderView* rowHeader = verticalHeader();
    rowHeader->setModel(nullptr);
    connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this, [this] {
        if (m_rowsShown.isEmpty())
            return;
        setHeadersUpdating(false);
        for (int r = 0; r < m_rowsShown.size(); ++r)
            if (!m_rowsShown.at(r))
                setRowShown(r, true);
        m_rowsShown.fill(true);
    });
    rowHeader->setModel(model);
    rowHeader->setSelectionModel(selectionModel());
    const auto rearranged = [this] {
        setHeadersUpdating(true);
        emit rowsRearranged();
    };
    connect(model, &QAbstractItemModel::layoutChanged, this, rearranged);
    connect(model, &QAbstractItemModel::rowsMoved, this, rearranged);
    // selectCells changes the selection quietly; anything heard here is the user's.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { m_selectionTouched = true; });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            &JournalTable::revealColumn);
}

JournalTable::~JournalTable()
{
    // It shares the model and the selection, which go with the table.
    delete m_frozen;
}

bool JournalTable::fill(const QVector<JournalRow>& rows, bool textJournal, JournalSearch* search,
                        const std::function<bool(int permille)>& progress, QVector<int>* shownOrder)
{
    const QVector<int> order = JournalOrder::displayOrder(rows);
    if (shownOrder)
        *shownOrder = order;
    const int columns = JournalOrder::columnCount(textJournal);
    setColumnCount(columns);
    const int count = order.size();
    QHeaderView* header = horizontalHeader();
    const int sortColumn = header->sortIndicatorSection();
    const Qt::SortOrder sortOrder = header->sortIndicatorOrder();

    // Sorting on, but without a sort column while filling: a sorted table
    // would move each row as it is set, and turning sorting on afterwards would
    // sort all rows once more although they are in order already. The header
    // is kept quiet so that moving its indicator sorts nothing.
    setSortingEnabled(true); // the table is empty: nothing to sort
    {
        const QSignalBlocker quiet(header);
        header->setSortIndicator(-1, sortOrder);
    }
    setUpdatesEnabled(false);
    setRowCount(count);
    QVector<QString> texts;
    if (search)
        texts.resize(count * columns);
    // Types, sources and many messages repeat: cells with equal texts share one
    // string. Every text kept is a fresh copy of its exact size: the decoded
    // strings (messages have room to grow) then all go with rows, and the pages
    // they filled can go back to the system instead of staying half used.
    const auto fresh = [](const QString& text) { return QString(text.constData(), text.size()); };
    QSet<QString> shared;
    QString previousTime;
    bool complete = true;
    for (int r = 0; r < count; ++r) {
        if (progress && r % ProgressRows == 0 && !progress(int(qint64(r) * 1000 / count))) {
            complete = false;
            break;
        }
        const JournalRow& row = rows.at(order.at(r));
        for (int c = 0; c < columns; ++c) {
            QString text = JournalOrder::cellText(row, c, textJournal);
            if (c != 0) {
                const auto found = shared.constFind(text);
                text = found != shared.cend() ? *found : *shared.insert(fresh(text));
            } else if (text == previousTime) {
                text = previousTime; // neighbours in time order often share a stamp
            } else {
                text = fresh(text);
                previousTime = text;
            }
            if (search)
                texts[c * count + r] = text;
            setItem(r, c,
                    c == 0 ? new JournalTimeItem(text, row.order, order.at(r))
                           : new JournalTableItem(text));
        }
    }
    if (!complete)
        setRowCount(0);
    else if (search)
        search->setCells(count, columns, std::move(texts));
    setUpdatesEnabled(true);
    const QSignalBlocker quiet(header);
    header->setSortIndicator(sortColumn, sortOrder);
    return complete;
}

QString JournalTable::text(int row, int column) const
{
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text() : QString();
}

int JournalTable::recordOfRow(int row) const
{
    const QTableWidgetItem* cell = item(row, 0);
    return cell && cell->type() == JournalTimeItem::ItemType
               ? static_cast<const JournalTimeItem*>(cell)->record()
               : -1;
}

void JournalTable::showRows(const QVector<bool>& shown)
{
    if (shown == m_rowsShown)
        return;
    // Only rows whose state changes are told: each change costs the header
    // far more than this comparison.
    setHeadersUpdating(false);
    for (int r = 0; r < rowCount(); ++r) {
        const bool show = shown.isEmpty() || shown.at(r);
        if (show != (m_rowsShown.isEmpty() || m_rowsShown.at(r)))
            setRowShown(r, show);
    }
    setHeadersUpdating(true);
    m_rowsShown = shown;
}

QVector<int> JournalTable::shownRows(bool selected) const
{
    QVector<bool> taken(rowCount(), !selected);
    if (selected) {
        const QItemSelection selection = selectionModel()->selection();
        for (const QItemSelectionRange& range : selection)
            for (int r = range.top(); r <= range.bottom(); ++r)
                taken[r] = true;
    }
    QVector<int> rows;
    for (int r = 0; r < taken.size(); ++r)
        if (taken.at(r) && !isRowHidden(r))
            rows.append(r);
    return rows;
}

void JournalTable::setRowShown(int row, bool shown)
{
    verticalHeader()->setSectionHidden(row, !shown);
    if (m_frozen)
        m_frozen->verticalHeader()->setSectionHidden(row, !shown);
}

void JournalTable::setHeadersUpdating(bool on)
{
    verticalHeader()->setUpdatesEnabled(on);
    if (m_frozen)
        m_frozen->verticalHeader()->setUpdatesEnabled(on);
}

void JournalTable::selectCells(const QVector<int>& cells, int rows)
{
    // Typing on often finds the very cells already selected: every selected
    // range costs time to make, to drop and at each repaint, so they are kept.
    if (!m_selectionTouched && cells == m_selected)
        return;
    // The view answers every selection change by working out the screen area of
    // each changed range; with tens of thousands of scattered matches that costs
    // far more than the search. The model is told quietly and the view is
    // repainted once instead.
    QItemSelectionModel* selection = selectionModel();
    const QSignalBlocker quiet(selection);
    selection->clearSelection();
    m_selected = cells;
    m_selectionTouched = false;
    viewport()->update();
    if (cells.isEmpty())
        return;
    // Runs of adjacent rows in a column become one range, so the selection
    // is made in a single call.
    QItemSelection ranges;
    int runStart = cells.first();
    for (int i = 1; i <= cells.size(); ++i) {
        const int cell = i < cells.size() ? cells.at(i) : -1;
        const int previous = cells.at(i - 1);
        if (cell == previous + 1 && cell % rows != 0)
            continue;
        ranges.append(QItemSelectionRange(model()->index(runStart % rows, runStart / rows),
                                          model()->index(previous % rows, previous / rows)));
        runStart = cell;
    }
    selection->select(ranges, QItemSelectionModel::Select);
}

void JournalTable::showRecord(int record)
{
    for (int r = 0; r < rowCount(); ++r)
        if (recordOfRow(r) == record)
            return showCell(r, 0, true);
}

void JournalTable::showCell(int row, int column, bool selectRow)
{
    const QModelIndex index = model()->index(row, column);
    // The current cell moves; for a match the selection of all matches stays.
    selectionModel()->setCurrentIndex(index, selectRow ? QItemSelectionModel::ClearAndSelect |
                                                             QItemSelectionModel::Rows
                                                       : QItemSelectionModel::NoUpdate);
    // Rows around it tell what came before and after; a cell this near an
    // edge is brought to the middle.
    constexpr int ContextRows = 3;
    const QRect cell = visualRect(index);
    const int context = ContextRows * rowHeight(index.row());
    if (!cell.isValid() || cell.top() < context || cell.bottom() > viewport()->height() - context)
        scrollTo(index, QAbstractItemView::PositionAtCenter);
    revealColumn(index);
    viewport()->update();
}

void JournalTable::freezeTimeColumn()
{
    // Rows scroll sideways per pixel, so that they slide under the held
    // column as under a spreadsheet's frozen one.
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    QHeaderView* header = horizontalHeader();
    header->setSectionResizeMode(0, QHeaderView::Fixed);
    m_frozen = new QTableView(this);
    m_frozen->setObjectName(QStringLiteral("frozenTime"));
    m_frozen->setModel(model());
    m_frozen->setSelectionModel(selectionModel());
    m_frozen->setItemDelegate(itemDelegate());
    m_frozen->setFocusPolicy(Qt::NoFocus);
    m_frozen->setFrameShape(QFrame::NoFrame);
    m_frozen->setEditTriggers(editTriggers());
    m_frozen->setSelectionBehavior(selectionBehavior());
    m_frozen->setSelectionMode(selectionMode());
    m_frozen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->verticalHeader()->hide();
    m_frozen->verticalHeader()->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
    for (int c = 1; c < columnCount(); ++c)
        m_frozen->setColumnHidden(c, true);
    QHeaderView* frozenHeader = m_frozen->horizontalHeader();
    frozenHeader->setSectionResizeMode(QHeaderView::Fixed);
    frozenHeader->setSortIndicatorShown(header->isSortIndicatorShown());
    frozenHeader->setSortIndicator(header->sortIndicatorSection(), header->sortIndicatorOrder());
    connect(header, &QHeaderView::sortIndicatorChanged, frozenHeader,
            &QHeaderView::setSortIndicator);
    // A click on the held Time title sorts the table, as one on its own would.
    connect(frozenHeader, &QHeaderView::sectionClicked, this, [this, header](int section) {
        sortByColumn(section, header->sortIndicatorSection() == section &&
                                      header->sortIndicatorOrder() == Qt::AscendingOrder
                                  ? Qt::DescendingOrder
                                  : Qt::AscendingOrder);
    });
    connect(m_frozen->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, m_frozen->verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(verticalHeader(), &QHeaderView::sectionResized, m_frozen,
            [this](int row, int, int height) { m_frozen->setRowHeight(row, height); });
    connect(header, &QHeaderView::sectionResized, this, [this](int column) {
        if (column == 0)
            placeFrozenColumn();
    });
    connect(header, &QHeaderView::geometriesChanged, this, &JournalTable::placeFrozenColumn);
    connect(verticalHeader(), &QHeaderView::geometriesChanged, this,
            &JournalTable::placeFrozenColumn);
    m_frozen->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_frozen, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        emit customContextMenuRequested(
            viewport()->mapFromGlobal(m_frozen->viewport()->mapToGlobal(pos)));
    });
    placeFrozenColumn();
    m_frozen->show();
}

void JournalTable::setDefaultRowHeight(int height)
{
    verticalHeader()->setDefaultSectionSize(height);
    if (m_frozen)
        m_frozen->verticalHeader()->setDefaultSectionSize(height);
}

bool JournalTable::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Resize)
        placeFrozenColumn();
    return QTableWidget::viewportEvent(event);
}

void JournalTable::placeFrozenColumn()
{
    if (!m_frozen)
        return;
    const int headerHeight = horizontalHeader()->height();
    m_frozen->horizontalHeader()->setFixedHeight(headerHeight);
    m_frozen->setColumnWidth(0, columnWidth(0));
    m_frozen->setGeometry(verticalHeader()->width() + frameWidth(), frameWidth(), columnWidth(0),
                          viewport()->height() + headerHeight);
    m_frozen->verticalScrollBar()->setValue(verticalScrollBar()->value());
}

void JournalTable::revealColumn(const QModelIndex& index)
{
    if (!index.isValid() || index.column() == 0)
        return;
    const QRect cell = visualRect(index);
    const int held = columnWidth(0);
    const int room = viewport()->width() - held;
    QScrollBar* bar = horizontalScrollBar();
    if (cell.left() < held)
        bar->setValue(bar->value() - (held - cell.left()));
    else if (cell.right() > viewport()->width() && cell.width() <= room)
        bar->setValue(bar->value() + cell.right() - viewport()->width() + 1);
}
