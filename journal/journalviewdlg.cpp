#include "journal/journalviewdlg.h"
#include "ui_journalviewdlg.h"

#include "core/downloadfile.h"
#include "journal/journalcelldelegate.h"
#include "journal/journaldecoder.h"
#include "journal/journalorder.h"
#include "journal/journaltime.h"
#include "journal/journaltimeinput.h"
#include "journal/journaltimelineview.h"
#include "journal/journalviewsettings.h"
#include "journal/journalwriter.h"
#include "journal/messagedefinitionparser.h"

#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHideEvent>
#include <QItemSelection>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QSet>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTableView>
#include <QTableWidgetItem>
#include <QTimer>
#include <QToolButton>

#include <limits>

#ifdef __GLIBC__
#include <malloc.h>
#endif

QString JournalViewDlg::lastSaveDir;

namespace {

// Whether some dialog's save button has been clicked in this process.
bool saveDirChosen = false;
bool timelineShown = true;

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

// A search scans this many cells (a few milliseconds) between looks at the
// clock, and gives the event loop a turn after SliceMs, so a keystroke never
// waits long behind it; a table of up to SliceCells cells is searched at once.
constexpr int SliceCells = 65536;
constexpr int SliceMs = 15;
// Fill reports progress every this many rows.
constexpr int ProgressRows = 8192;

} // namespace

JournalViewDlg::JournalViewDlg(QWidget* parent, QByteArray data, const QString& mesPath,
                               QString saveDir, const Progress& progress, const QDate& written)
    : QDialog(parent), ui(new Ui::JournalViewDlg), journalData(std::move(data)),
      saveDirPath(std::move(saveDir))
{
    ui->setupUi(this);
    QTableWidget* table = ui->journalTable;
    const JournalViewSettings kept;
    if (kept.size().isValid()) {
        resize(kept.size());
        fitIntoScreen();
    }
    // Set while the table is empty, where the rows' height costs nothing to change.
    m_defaultFontSize = table->font().pointSize();
    m_defaultRowHeight = table->verticalHeader()->defaultSectionSize();
    if (kept.fontSize() > 0)
        setFontSize(kept.fontSize());
    // The table sorts descending by Time from the start.
    table->horizontalHeader()->setSortIndicator(0, Qt::DescendingOrder);
    m_searchSlice = new QTimer(this);
    m_searchSlice->setSingleShot(true);
    m_searchSlice->setInterval(0);
    connect(m_searchSlice, &QTimer::timeout, this, &JournalViewDlg::continueSearch);
    ui->findEdit->installEventFilter(this);
    QAbstractItemModel* model = table->model();
    connect(model, &QAbstractItemModel::dataChanged, this, &JournalViewDlg::cellsChanged);
    // A sort with "Only matches" on: the row header would keep each hidden row
    // as a persistent index through it and hide it again one by one after it,
    // far dearer than the sort itself. So the rows are all shown before the
    // header hears of the sort, and rowsRearranged hides the new order's rows
    // without a match. Updates stay off meanwhile, turned on again there. The
    // header is attached to the model again so that this runs before its own
    // handler; the table is empty yet, so it loses nothing.
    QHeaderView* rowHeader = table->verticalHeader();
    rowHeader->setModel(nullptr);
    connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this, [this] {
        if (!m_filtered)
            return;
        QHeaderView* header = ui->journalTable->verticalHeader();
        header->setUpdatesEnabled(false);
        QHeaderView* frozen = m_frozen ? m_frozen->verticalHeader() : nullptr;
        if (frozen)
            frozen->setUpdatesEnabled(false);
        for (int r = 0; r < m_rowsShown.size(); ++r) {
            if (!m_rowsShown.at(r)) {
                header->setSectionHidden(r, false);
                if (frozen)
                    frozen->setSectionHidden(r, false);
            }
        }
        m_rowsShown.fill(true);
    });
    rowHeader->setModel(model);
    rowHeader->setSelectionModel(table->selectionModel());
    connect(model, &QAbstractItemModel::layoutChanged, this, &JournalViewDlg::rowsRearranged);
    connect(model, &QAbstractItemModel::rowsMoved, this, &JournalViewDlg::rowsRearranged);
    m_delegate = new JournalCellDelegate(table);
    table->setItemDelegate(m_delegate);
    // Find next and previous from anywhere in the dialog; Enter in the search
    // field is taken by the event filter.
    const auto dialogAction = [this](const QKeySequence& key, auto slot) {
        auto* action = new QAction(this);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    dialogAction(QKeySequence(Qt::Key_F3), [this] { goToMatch(true); });
    dialogAction(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { goToMatch(false); });
    dialogAction(QKeySequence::Find, [this] {
        ui->findEdit->setFocus(Qt::ShortcutFocusReason);
        ui->findEdit->selectAll();
    });
    m_goToTime = dialogAction(QKeySequence(Qt::CTRL | Qt::Key_G), [this] { goToTime(); });
    m_goToTime->setText(tr("Go to time..."));
    // Larger text for control-room screens; Ctrl+= is Ctrl++ without Shift.
    dialogAction(QKeySequence::ZoomIn, [this] { zoom(1); });
    dialogAction(QKeySequence(Qt::CTRL | Qt::Key_Equal), [this] { zoom(1); });
    dialogAction(QKeySequence::ZoomOut, [this] { zoom(-1); });
    dialogAction(QKeySequence(Qt::CTRL | Qt::Key_0), [this] { zoom(0); });
    // The Message column is fitted once the table's geometry has settled: the
    // row header's width, worked out late, narrows the viewport too.
    m_fitMessage = new QTimer(this);
    m_fitMessage->setSingleShot(true);
    m_fitMessage->setInterval(0);
    connect(m_fitMessage, &QTimer::timeout, this, &JournalViewDlg::fitMessageColumn);
    table->viewport()->installEventFilter(this);
    connect(table->verticalHeader(), &QHeaderView::geometriesChanged, m_fitMessage,
            qOverload<>(&QTimer::start));
    connect(table->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int width) {
                if (m_fitting)
                    return;
                if (column == messageColumn())
                    m_messageWidth = width;
                else
                    fitMessageColumn();
            });
    // Copy takes whole rows; an editor open in a cell keeps Ctrl+C for its own text.
    auto* copy = new QAction(this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    table->addAction(copy);
    connect(copy, &QAction::triggered, this, &JournalViewDlg::copySelection);
    m_copyRows = new QAction(tr("Copy rows"), this);
    connect(m_copyRows, &QAction::triggered, this, &JournalViewDlg::copyRows);
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table, &QWidget::customContextMenuRequested, this, &JournalViewDlg::showTableMenu);
    // The search changes the selection quietly; anything heard here is the user's.
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { m_selectionTouched = true; });
    connect(table->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                revealColumn(current);
                showMatchPosition();
            });
    for (QToolButton* level : {ui->levelE, ui->levelW, ui->levelI})
        connect(level, &QToolButton::toggled, this, &JournalViewDlg::applyFilter);

    // Decoding is the first half of an open, filling the table the second.
    const auto decoding = [this, &progress](int done, int total) {
        m_cancelled = m_cancelled || !progress(total ? int(qint64(done) * 500 / total) : 0);
        return !m_cancelled;
    };
    const auto filling = [this, &progress](int permille) {
        m_cancelled = m_cancelled || !progress(500 + permille / 2);
        return !m_cancelled;
    };
    QVector<JournalRow> rows;
    const bool textJournal = mesPath.isEmpty();
    m_textJournal = textJournal;
    // Binary records carry no level.
    for (QToolButton* level : {ui->levelE, ui->levelW, ui->levelI})
        level->setVisible(textJournal);
    if (!textJournal) {
        mesFile.setFileName(mesPath);
        // An unreadable definition file leaves the table empty; so does one
        // that never ends or never opens (a device, a FIFO) or is far too large.
        QByteArray definitions;
        const DownloadFile::ReadResult read =
            DownloadFile::readRegular(mesFile, MessageDefinitionParser::maxFileSize, &definitions);
        if (read != DownloadFile::Read) {
            m_definitionsRefusal =
                tr("Cannot read the message definitions %1: %2")
                    .arg(QDir::toNativeSeparators(mesPath),
                         DownloadFile::readFailure(read, mesFile,
                                                   MessageDefinitionParser::maxFileSize));
            return;
        }
        QBuffer buffer(&definitions);
        buffer.open(QIODevice::ReadOnly);
        MessageDefinitionParser::parse(buffer, sources, messages);
        rows = JournalDecoder(messages, sources)
                   .decodeBinary(journalData, progress ? decoding : JournalDecoder::Progress(),
                                 &m_tooMuchText, written);
    } else {
        table->insertColumn(1);
        table->setHorizontalHeaderItem(1, new QTableWidgetItem(tr("type")));
        // Errors and warnings stand out from the other rows.
        m_delegate->setTypeColumn(1);
        rows = JournalDecoder::decodeText(journalData,
                                          progress ? decoding : JournalDecoder::Progress());
    }
    QVector<int> order;
    if (!m_cancelled)
        fillTable(table, rows, textJournal, &m_search, progress ? filling : Progress(), &order);
    if (!m_cancelled && !m_tooMuchText) {
        m_when.resize(rows.size());
        for (int i = 0; i < rows.size(); ++i)
            m_when[i] = rows.at(i).when;
        m_oldestFirst = QVector<int>(order.crbegin(), order.crend());
        if (timelineShown) {
            QVector<bool> errors;
            if (textJournal) {
                errors.resize(rows.size());
                for (int i = 0; i < rows.size(); ++i)
                    errors[i] = rows.at(i).type == QLatin1String("E");
            }
            buildTimeline(errors);
        }
    }
    rows = QVector<JournalRow>();
    if (m_cancelled || m_tooMuchText) {
        journalData = QByteArray();
        return;
    }
    const QVector<int> widths = kept.columnWidths(table->columnCount());
    if (widths.isEmpty()) {
        table->resizeColumnsToContents();
    } else {
        // Never wider than a screen, nor narrower than the column's title.
        QHeaderView* header = table->horizontalHeader();
        const int widest = qMax(1, screen()->availableGeometry().width());
        const QSignalBlocker quiet(header);
        for (int c = 0; c < widths.size(); ++c)
            table->setColumnWidth(
                c, qBound(qMin(header->sectionSizeHint(c), widest), widths.at(c), widest));
    }
    m_cellsStale = false;
    // The widest Time text, and every Source text once (equal texts share
    // their data, so a pointer tells a repeated one).
    const int rowCount = table->rowCount();
    const int source = table->columnCount() - 1;
    QSet<const QChar*> seen;
    for (int r = 0; r < rowCount; ++r) {
        const QString& time = m_search.cell(r, 0);
        if (time.size() > m_widestTime.size())
            m_widestTime = time;
        const QString& from = m_search.cell(r, source);
        if (!seen.contains(from.constData())) {
            seen.insert(from.constData());
            m_sourceTexts.append(from);
        }
    }
    m_sourceTexts.removeDuplicates();
    fitTextColumns();
    m_messageWidth = table->columnWidth(messageColumn());
    freezeTimeColumn();
    // Every cell may match.
    ui->matches->setMaximum(table->rowCount() * table->columnCount());
#ifdef __GLIBC__
    // The decoded rows lie freed between the cells; give those pages back.
    malloc_trim(0);
#endif
}

void JournalViewDlg::setName(const QString& shown, const QString& saveName)
{
    setWindowTitle(tr("Journal view - %1").arg(shown));
    m_saveName = saveName;
}

void JournalViewDlg::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous())
        keepLayout();
    QDialog::hideEvent(event);
}

void JournalViewDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Where it opens is known now: on its parent's screen.
    if (!m_placed && !event->spontaneous()) {
        m_placed = true;
        fitIntoScreen();
    }
}

void JournalViewDlg::fitIntoScreen()
{
    const QScreen* where = screen();
    if (!where)
        return;
    const QRect room = where->availableGeometry();
    // The frame too, as far as it is known before the window is shown.
    const QSize frame = frameGeometry().size() - size();
    const QSize fits = size().boundedTo(room.size() - frame);
    if (fits != size())
        resize(fits.expandedTo(minimumSizeHint()).boundedTo(room.size() - frame));
    if (!isVisible())
        return;
    const QRect shown = frameGeometry();
    const int x =
        qBound(room.left(), shown.left(), qMax(room.left(), room.right() - shown.width() + 1));
    const int y =
        qBound(room.top(), shown.top(), qMax(room.top(), room.bottom() - shown.height() + 1));
    if (x != shown.left() || y != shown.top())
        move(x, y);
}

void JournalViewDlg::keepLayout()
{
    JournalViewSettings kept;
    kept.setSize(size());
    const QTableWidget* table = ui->journalTable;
    // An empty table's widths fit no journal.
    if (table->rowCount() == 0)
        return;
    QVector<int> widths;
    for (int c = 0; c < table->columnCount(); ++c)
        widths.append(c == messageColumn() ? m_messageWidth : table->columnWidth(c));
    kept.setColumnWidths(widths);
}

int JournalViewDlg::messageColumn() const
{
    return ui->journalTable->columnCount() - 2;
}

void JournalViewDlg::fitMessageColumn()
{
    QTableWidget* table = ui->journalTable;
    const int message = messageColumn();
    int others = 0;
    for (int c = 0; c < table->columnCount(); ++c)
        others += c == message ? 0 : table->columnWidth(c);
    m_fitting = true;
    table->setColumnWidth(message, qMax(m_messageWidth, table->viewport()->width() - others));
    m_fitting = false;
}

void JournalViewDlg::fitTextColumns()
{
    QTableWidget* table = ui->journalTable;
    if (table->rowCount() == 0)
        return;
    const QFontMetrics metrics(table->font());
    // The margins a cell's text is drawn within, and a grid line.
    const int margins =
        2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1) + 2;
    QHeaderView* header = table->horizontalHeader();
    const int time =
        qMax(header->sectionSizeHint(0), metrics.horizontalAdvance(m_widestTime) + margins);
    int source = 0;
    for (const QString& text : qAsConst(m_sourceTexts))
        source = qMax(source, metrics.horizontalAdvance(text));
    const QScreen* where = screen();
    const int half = where ? where->availableGeometry().width() / 2 : 800;
    const int last = table->columnCount() - 1;
    m_fitting = true;
    table->setColumnWidth(0, time);
    table->setColumnWidth(last, qMax(table->columnWidth(last), qMin(source + margins, half)));
    m_fitting = false;
    placeFrozenColumn();
}

void JournalViewDlg::freezeTimeColumn()
{
    QTableWidget* table = ui->journalTable;
    // Rows scroll sideways per pixel, so that they slide under the held
    // column as under a spreadsheet's frozen one.
    table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Fixed);
    m_frozen = new QTableView(table);
    m_frozen->setObjectName(QStringLiteral("frozenTime"));
    m_frozen->setModel(table->model());
    m_frozen->setSelectionModel(table->selectionModel());
    m_frozen->setItemDelegate(m_delegate);
    m_frozen->setFocusPolicy(Qt::NoFocus);
    m_frozen->setFrameShape(QFrame::NoFrame);
    m_frozen->setEditTriggers(table->editTriggers());
    m_frozen->setSelectionBehavior(table->selectionBehavior());
    m_frozen->setSelectionMode(table->selectionMode());
    m_frozen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->verticalHeader()->hide();
    m_frozen->verticalHeader()->setDefaultSectionSize(
        table->verticalHeader()->defaultSectionSize());
    for (int c = 1; c < table->columnCount(); ++c)
        m_frozen->setColumnHidden(c, true);
    QHeaderView* header = table->horizontalHeader();
    QHeaderView* frozenHeader = m_frozen->horizontalHeader();
    frozenHeader->setSectionResizeMode(QHeaderView::Fixed);
    frozenHeader->setSortIndicatorShown(header->isSortIndicatorShown());
    frozenHeader->setSortIndicator(header->sortIndicatorSection(), header->sortIndicatorOrder());
    connect(header, &QHeaderView::sortIndicatorChanged, frozenHeader,
            &QHeaderView::setSortIndicator);
    // A click on the held Time title sorts the table, as one on its own would.
    connect(frozenHeader, &QHeaderView::sectionClicked, this, [this](int section) {
        const QHeaderView* own = ui->journalTable->horizontalHeader();
        const Qt::SortOrder order = own->sortIndicatorSection() == section &&
                                            own->sortIndicatorOrder() == Qt::AscendingOrder
                                        ? Qt::DescendingOrder
                                        : Qt::AscendingOrder;
        ui->journalTable->sortByColumn(section, order);
    });
    connect(m_frozen->verticalScrollBar(), &QAbstractSlider::valueChanged,
            table->verticalScrollBar(), &QAbstractSlider::setValue);
    connect(table->verticalScrollBar(), &QAbstractSlider::valueChanged,
            m_frozen->verticalScrollBar(), &QAbstractSlider::setValue);
    connect(table->verticalHeader(), &QHeaderView::sectionResized, m_frozen,
            [this](int row, int, int height) { m_frozen->setRowHeight(row, height); });
    connect(header, &QHeaderView::geometriesChanged, this, &JournalViewDlg::placeFrozenColumn);
    connect(table->verticalHeader(), &QHeaderView::geometriesChanged, this,
            &JournalViewDlg::placeFrozenColumn);
    m_frozen->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_frozen, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        showTableMenu(
            ui->journalTable->viewport()->mapFromGlobal(m_frozen->viewport()->mapToGlobal(pos)));
    });
    placeFrozenColumn();
    m_frozen->show();
}

void JournalViewDlg::placeFrozenColumn()
{
    if (!m_frozen)
        return;
    const QTableWidget* table = ui->journalTable;
    const int headerHeight = table->horizontalHeader()->height();
    m_frozen->horizontalHeader()->setFixedHeight(headerHeight);
    m_frozen->setColumnWidth(0, table->columnWidth(0));
    m_frozen->setGeometry(table->verticalHeader()->width() + table->frameWidth(),
                          table->frameWidth(), table->columnWidth(0),
                          table->viewport()->height() + headerHeight);
    m_frozen->verticalScrollBar()->setValue(table->verticalScrollBar()->value());
}

void JournalViewDlg::revealColumn(const QModelIndex& index)
{
    QTableWidget* table = ui->journalTable;
    if (!index.isValid() || index.column() == 0)
        return;
    const QRect cell = table->visualRect(index);
    const int held = table->columnWidth(0);
    const int room = table->viewport()->width() - held;
    QScrollBar* bar = table->horizontalScrollBar();
    if (cell.left() < held)
        bar->setValue(bar->value() - (held - cell.left()));
    else if (cell.right() > table->viewport()->width() && cell.width() <= room)
        bar->setValue(bar->value() + cell.right() - table->viewport()->width() + 1);
}

void JournalViewDlg::setFontSize(int points)
{
    if (m_defaultFontSize <= 0)
        return; // a font sized in pixels is left as it is
    QTableWidget* table = ui->journalTable;
    const int before = table->fontMetrics().height();
    if (points > 0) {
        QFont font = table->font();
        font.setPointSize(points);
        table->setFont(font);
    } else {
        table->setFont(QFont()); // the dialog's again
    }
    const int after = table->fontMetrics().height();
    if (before <= 0 || after <= 0)
        return;
    QFont defaultFont = table->font();
    defaultFont.setPointSize(m_defaultFontSize);
    table->verticalHeader()->setDefaultSectionSize(
        qMax(1, m_defaultRowHeight + after - QFontMetrics(defaultFont).height()));
    if (m_frozen)
        m_frozen->verticalHeader()->setDefaultSectionSize(
            table->verticalHeader()->defaultSectionSize());
    if (before == after || table->rowCount() == 0)
        return;
    // The columns grow and shrink with their text.
    QHeaderView* header = table->horizontalHeader();
    m_fitting = true;
    for (int c = 1; c < table->columnCount(); ++c)
        if (c != messageColumn())
            header->resizeSection(c, header->sectionSize(c) * after / before);
    m_fitting = false;
    m_messageWidth = m_messageWidth * after / before;
    fitTextColumns();
    fitMessageColumn();
}

void JournalViewDlg::zoom(int steps)
{
    const int points = steps == 0 ? 0
                                  : qBound(JournalViewSettings::minFontSize,
                                           ui->journalTable->font().pointSize() + steps,
                                           JournalViewSettings::maxFontSize);
    setFontSize(points);
    JournalViewSettings().setFontSize(points == m_defaultFontSize ? 0 : points);
}

void JournalViewDlg::setTimelineShown(bool shown)
{
    timelineShown = shown;
}

void JournalViewDlg::buildTimeline(const QVector<bool>& errors)
{
    m_timeline.build(m_oldestFirst, m_when, errors);
    if (m_timeline.bins().isEmpty())
        return;
    m_timelineView = new JournalTimelineView(this);
    m_timelineView->setObjectName(QStringLiteral("timeline"));
    const QString hour =
        m_textJournal ? QStringLiteral("dd.MM.yyyy HH:mm") : QStringLiteral("dd.MM HH:mm");
    m_timelineView->setTimeline(&m_timeline, m_timeline.binSeconds() < JournalTimeline::Day
                                                 ? hour
                                                 : hour.left(hour.indexOf(QLatin1Char(' '))));
    ui->verticalLayout->insertWidget(1, m_timelineView);
    // Newest at the left while the table shows newest first, so that the two
    // run the same way.
    const auto follow = [this](int column, Qt::SortOrder order) {
        m_timelineView->setNewestLeft(column != 0 || order == Qt::DescendingOrder);
    };
    const QHeaderView* header = ui->journalTable->horizontalHeader();
    follow(header->sortIndicatorSection(), header->sortIndicatorOrder());
    connect(header, &QHeaderView::sortIndicatorChanged, this, follow);
    connect(m_timelineView, &JournalTimelineView::binClicked, this, [this](int bin) {
        const int row = rowOfRecord(m_timeline.bins().at(bin).first);
        if (row >= 0)
            showRecordCell(ui->journalTable->model()->index(row, 0), true);
    });
    connect(ui->journalTable->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                const int record = recordOfRow(current.row());
                m_timelineView->setCurrentBin(record >= 0 ? m_timeline.binOf(m_when.at(record))
                                                          : -1);
            });
}

JournalViewDlg::~JournalViewDlg()
{
    // Deleted with its parent, it sees no hide event of its own.
    if (isVisible())
        keepLayout();
    // A large journal's cells are most of the process: they go now, ahead of
    // the table (a child, deleted after the members). Their texts are shared
    // with the search, so the heap is trimmed only once that has gone too
    // (m_heapTrim).
    ui->journalTable->setRowCount(0);
    // The table and its headers go after the dialog's members: nothing they
    // say on the way may reach it.
    ui->journalTable->horizontalHeader()->disconnect(this);
    ui->journalTable->verticalHeader()->disconnect(this);
    ui->journalTable->viewport()->removeEventFilter(this);
    delete m_frozen;
    m_frozen = nullptr;
}

JournalViewDlg::HeapTrim::~HeapTrim()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

bool JournalViewDlg::fillTable(QTableWidget* table, const QVector<JournalRow>& rows,
                               bool textJournal, JournalSearch* search, const Progress& progress,
                               QVector<int>* shownOrder)
{
    const QVector<int> order = JournalOrder::displayOrder(rows);
    if (shownOrder)
        *shownOrder = order;
    const int columns = JournalOrder::columnCount(textJournal);
    const int count = order.size();
    QHeaderView* header = table->horizontalHeader();
    const int sortColumn = header->sortIndicatorSection();
    const Qt::SortOrder sortOrder = header->sortIndicatorOrder();

    // Sorting on, but without a sort column while filling: a sorted table
    // would move each row as it is set, and turning sorting on afterwards would
    // sort all rows once more although they are in order already. The header
    // is kept quiet so that moving its indicator sorts nothing.
    table->setSortingEnabled(true); // the table is empty: nothing to sort
    {
        const QSignalBlocker quiet(header);
        header->setSortIndicator(-1, sortOrder);
    }
    table->setUpdatesEnabled(false);
    table->setRowCount(count);
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
            table->setItem(r, c,
                           c == 0 ? new JournalTimeItem(text, row.order, order.at(r))
                                  : new JournalTableItem(text));
        }
    }
    if (!complete)
        table->setRowCount(0);
    else if (search)
        search->setCells(count, columns, std::move(texts));
    table->setUpdatesEnabled(true);
    const QSignalBlocker quiet(header);
    header->setSortIndicator(sortColumn, sortOrder);
    return complete;
}

bool JournalViewDlg::isSearching() const
{
    return !m_search.isDone();
}

void JournalViewDlg::loadCells()
{
    if (!m_cellsStale)
        return;
    const QTableWidget* table = ui->journalTable;
    const int rows = table->rowCount();
    const int columns = table->columnCount();
    QVector<QString> texts(rows * columns);
    for (int c = 0; c < columns; ++c)
        for (int r = 0; r < rows; ++r)
            if (const QTableWidgetItem* item = table->item(r, c))
                texts[c * rows + r] = item->text();
    m_search.setCells(rows, columns, std::move(texts));
    m_cellsStale = false;
}

void JournalViewDlg::cellsChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight)
{
    if (m_cellsStale)
        return;
    const QTableWidget* table = ui->journalTable;
    for (int c = topLeft.column(); c <= bottomRight.column(); ++c)
        for (int r = topLeft.row(); r <= bottomRight.row(); ++r)
            if (const QTableWidgetItem* item = table->item(r, c))
                m_search.setCell(r, c, item->text());
}

void JournalViewDlg::rowsRearranged()
{
    ui->journalTable->verticalHeader()->setUpdatesEnabled(true);
    if (m_frozen)
        m_frozen->verticalHeader()->setUpdatesEnabled(true);
    m_cellsStale = true;
    // Matches are kept by row, so they are found again in the new order; Qt
    // has moved the selection with its cells already.
    const QString text = ui->findEdit->text();
    if (text.isEmpty()) {
        applyFilter(); // the levels' rows hidden again
        return;
    }
    m_searchSlice->stop();
    loadCells();
    m_search.start(text);
    m_search.proceed(std::numeric_limits<int>::max());
    // The selection has moved with its cells, so it still holds these matches.
    m_selected = m_search.matches();
    applyFilter();
}

void JournalViewDlg::on_findEdit_textChanged(const QString& text)
{
    m_searchSlice->stop();
    ui->searchStatus->clear();
    m_delegate->setSearchText(text);
    ui->journalTable->viewport()->update();
    loadCells();
    m_search.start(text);
    if (text.isEmpty()) {
        selectMatches();
        ui->matches->setValue(0);
        applyFilter();
        markMatches();
        showMatchPosition();
        return;
    }
    // The previous matches stay selected until the new ones are known.
    continueSearch();
}

void JournalViewDlg::continueSearch()
{
    QElapsedTimer clock;
    clock.start();
    while (!m_search.proceed(SliceCells)) {
        if (clock.elapsed() >= SliceMs) {
            m_searchSlice->start();
            return;
        }
    }
    showMatches();
}

void JournalViewDlg::showMatches(bool nearest)
{
    const QVector<int>& found = m_search.matches();
    ui->matches->setValue(qMin(found.size(), ui->matches->maximum()));
    applyFilter();
    selectMatches();
    markMatches();
    if (nearest && !found.isEmpty()) {
        // From where the operator is: the current row's matches count too.
        QTableWidget* table = ui->journalTable;
        const QModelIndex current = table->currentIndex();
        bool wrapped = false;
        const int match = m_search.next(current.isValid() ? current.row() : -1, -1, &wrapped);
        ui->searchStatus->setText(wrapped ? tr("Search wrapped to the top") : QString());
        showRecordCell(table->model()->index(m_search.rowOf(match), m_search.columnOf(match)));
    }
    showMatchPosition();
}

void JournalViewDlg::showMatchPosition()
{
    const QModelIndex current = ui->journalTable->currentIndex();
    const QVector<int>& found = m_search.matches();
    int match = -1;
    if (current.isValid() && m_search.isDone() && !found.isEmpty()) {
        const int cell = current.column() * m_search.rows() + current.row();
        const auto it = std::lower_bound(found.cbegin(), found.cend(), cell);
        if (it != found.cend() && *it == cell)
            match = int(it - found.cbegin());
    }
    ui->matchPosition->setText(
        match < 0 ? QString() : tr("%1 of %2").arg(m_search.ordinal(match)).arg(found.size()));
}

void JournalViewDlg::markMatches()
{
    if (!m_timelineView)
        return;
    QVector<int> records;
    if (m_search.isDone()) {
        const QVector<int>& found = m_search.matches();
        records.reserve(found.size());
        for (int m = 0; m < found.size(); ++m) {
            const int record = recordOfRow(m_search.rowOf(m));
            if (record >= 0)
                records.append(record);
        }
    }
    m_timelineView->setMarkedBins(m_timeline.binsHolding(records, m_when));
}

QStringList JournalViewDlg::shownLevels() const
{
    QStringList levels;
    if (!m_textJournal)
        return levels;
    for (const QToolButton* level : {ui->levelE, ui->levelW, ui->levelI})
        if (level->isChecked())
            levels.append(level->text());
    return levels;
}

void JournalViewDlg::selectMatches()
{
    const QVector<int>& found = m_search.matches();
    // Typing on often finds the very cells already selected: every selected
    // range costs time to make, to drop and at each repaint, so they are kept.
    if (!m_selectionTouched && found == m_selected)
        return;
    QTableWidget* table = ui->journalTable;
    // The view answers every selection change by working out the screen area of
    // each changed range; with tens of thousands of scattered matches that costs
    // far more than the search. The model is told quietly and the view is
    // repainted once instead.
    QItemSelectionModel* selectionModel = table->selectionModel();
    const QSignalBlocker quiet(selectionModel);
    selectionModel->clearSelection();
    m_selected = found;
    m_selectionTouched = false;
    table->viewport()->update();
    if (found.isEmpty())
        return;
    // Runs of adjacent rows in a column become one range, so the selection
    // is made in a single call.
    QAbstractItemModel* model = table->model();
    const int rows = m_search.rows();
    QItemSelection selection;
    int runStart = found.first();
    for (int i = 1; i <= found.size(); ++i) {
        const int cell = i < found.size() ? found.at(i) : -1;
        const int previous = found.at(i - 1);
        if (cell == previous + 1 && cell % rows != 0)
            continue;
        selection.append(QItemSelectionRange(model->index(runStart % rows, runStart / rows),
                                             model->index(previous % rows, previous / rows)));
        runStart = cell;
    }
    selectionModel->select(selection, QItemSelectionModel::Select);
}

void JournalViewDlg::applyFilter()
{
    const bool onlyMatches = ui->onlyMatches->isChecked() && !m_search.text().isEmpty();
    if (onlyMatches && !m_search.isDone())
        return; // the rows are known when the search is
    const QStringList levels = shownLevels();
    const bool filter = onlyMatches || !levels.isEmpty();
    if (!filter && !m_filtered)
        return;
    QTableWidget* table = ui->journalTable;
    const int rows = table->rowCount();
    QVector<bool> shown = onlyMatches ? m_search.matchingRows() : QVector<bool>(rows, true);
    if (!levels.isEmpty()) {
        for (int r = 0; r < rows; ++r) {
            const QTableWidgetItem* type = table->item(r, 1);
            shown[r] = shown.at(r) && type && levels.contains(type->text());
        }
    }
    // Only rows whose state changes are told: each change costs the header
    // far more than this comparison.
    if (m_filtered && shown == m_rowsShown)
        return;
    QHeaderView* rowHeader = table->verticalHeader();
    // With updates off the header does not work out every row's place per change.
    rowHeader->setUpdatesEnabled(false);
    QHeaderView* frozen = m_frozen ? m_frozen->verticalHeader() : nullptr;
    if (frozen)
        frozen->setUpdatesEnabled(false);
    for (int r = 0; r < rows; ++r) {
        if (!m_filtered || shown.at(r) != m_rowsShown.at(r)) {
            rowHeader->setSectionHidden(r, !shown.at(r));
            if (frozen)
                frozen->setSectionHidden(r, !shown.at(r));
        }
    }
    rowHeader->setUpdatesEnabled(true);
    if (frozen)
        frozen->setUpdatesEnabled(true);
    m_filtered = filter;
    m_rowsShown = filter ? shown : QVector<bool>();
}

void JournalViewDlg::on_onlyMatches_toggled(bool)
{
    if (m_search.isDone())
        applyFilter();
}

void JournalViewDlg::goToMatch(bool forward)
{
    if (!m_search.isDone()) {
        m_searchSlice->stop();
        m_search.proceed(std::numeric_limits<int>::max());
        showMatches(false);
    }
    QTableWidget* table = ui->journalTable;
    const QModelIndex current = table->currentIndex();
    const int row = current.isValid() ? current.row() : -1;
    bool wrapped = false;
    const int match = forward ? m_search.next(row, current.column(), &wrapped)
                              : m_search.previous(row, current.column(), &wrapped);
    ui->searchStatus->setText(!wrapped  ? QString()
                              : forward ? tr("Search wrapped to the top")
                                        : tr("Search wrapped to the bottom"));
    if (match < 0)
        return;
    showRecordCell(table->model()->index(m_search.rowOf(match), m_search.columnOf(match)));
}

void JournalViewDlg::showRecordCell(const QModelIndex& index, bool selectRow)
{
    QTableWidget* table = ui->journalTable;
    // The current cell moves; for a match the selection of all matches stays.
    table->selectionModel()->setCurrentIndex(
        index, selectRow ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
                         : QItemSelectionModel::NoUpdate);
    // Rows around it tell what came before and after; a cell this near an
    // edge is brought to the middle.
    constexpr int ContextRows = 3;
    const QRect cell = table->visualRect(index);
    const int context = ContextRows * table->rowHeight(index.row());
    if (!cell.isValid() || cell.top() < context ||
        cell.bottom() > table->viewport()->height() - context)
        table->scrollTo(index, QAbstractItemView::PositionAtCenter);
    revealColumn(index);
    table->viewport()->update();
}

int JournalViewDlg::rowOfRecord(int record) const
{
    const QTableWidget* table = ui->journalTable;
    for (int r = 0; r < table->rowCount(); ++r)
        if (recordOfRow(r) == record)
            return r;
    return -1;
}

int JournalViewDlg::recordOfRow(int row) const
{
    const QTableWidgetItem* item = ui->journalTable->item(row, 0);
    return item && item->type() == JournalTimeItem::ItemType
               ? static_cast<const JournalTimeItem*>(item)->record()
               : -1;
}

void JournalViewDlg::goToTime()
{
    // Where the operator is, or else the newest record, is where the question starts.
    const int here = recordOfRow(ui->journalTable->currentIndex().row());
    qint64 newest = JournalTime::Unknown;
    for (auto it = m_oldestFirst.crbegin(); it != m_oldestFirst.crend() && newest < 0; ++it)
        newest = m_when.at(*it);
    if (newest < 0)
        return; // no record has a time to go to
    const qint64 start = here >= 0 && m_when.at(here) >= 0 ? m_when.at(here) : newest;

    QDialog ask(this);
    ask.setWindowTitle(tr("Go to time"));
    auto* edit = new QLineEdit(JournalTimeInput::describe(start), &ask);
    edit->setObjectName(QStringLiteral("timeEdit"));
    edit->setToolTip(tr("03:10, 14.11 03:10, 14.11.2026 03:10:16 or 2026-11-14 03:10; a time "
                        "without a date is the latest one in the journal"));
    auto* understood = new QLabel(&ask);
    understood->setObjectName(QStringLiteral("understood"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &ask);
    connect(buttons, &QDialogButtonBox::accepted, &ask, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &ask, &QDialog::reject);
    qint64 target = JournalTime::Unknown;
    // What the text is read as is shown before going; what cannot be read goes nowhere.
    const auto read = [&] {
        target = JournalTimeInput::parse(edit->text(), newest);
        const bool known = target != JournalTime::Unknown;
        understood->setText(known ? tr("Goes to %1").arg(JournalTimeInput::describe(target))
                                  : tr("Not a time: type it as 03:10 or 14.11.2026 03:10"));
        understood->setStyleSheet(known ? QString() : QStringLiteral("color: #c00000"));
        buttons->button(QDialogButtonBox::Ok)->setEnabled(known);
    };
    connect(edit, &QLineEdit::textChanged, &ask, read);
    read();
    auto* form = new QFormLayout(&ask);
    form->addRow(tr("First record at or after:"), edit);
    form->addRow(QString(), understood);
    form->addRow(buttons);
    edit->selectAll();
    if (ask.exec() != QDialog::Accepted || target == JournalTime::Unknown)
        return;
    const int row = rowOfRecord(JournalTime::goTo(m_oldestFirst, m_when, target));
    if (row >= 0)
        showRecordCell(ui->journalTable->model()->index(row, 0), true);
}

bool JournalViewDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->journalTable->viewport() && event->type() == QEvent::Resize) {
        m_fitMessage->start();
        placeFrozenColumn();
    }
    if (watched == ui->findEdit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_F3:
            // Taken here, so Enter does not press the dialog's default button.
            goToMatch(!key->modifiers().testFlag(Qt::ShiftModifier));
            return true;
        case Qt::Key_Escape:
            // The first Esc clears the search; the next closes the dialog.
            if (ui->findEdit->text().isEmpty())
                break;
            ui->findEdit->clear();
            return true;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QVector<int> JournalViewDlg::selectedRows() const
{
    const QTableWidget* table = ui->journalTable;
    QVector<bool> selected(table->rowCount(), false);
    const QItemSelection selection = table->selectionModel()->selection();
    for (const QItemSelectionRange& range : selection)
        for (int r = range.top(); r <= range.bottom(); ++r)
            selected[r] = true;
    QVector<int> rows;
    for (int r = 0; r < selected.size(); ++r)
        if (selected.at(r) && !table->isRowHidden(r))
            rows.append(r);
    return rows;
}

void JournalViewDlg::copySelection()
{
    const QTableWidget* table = ui->journalTable;
    const QItemSelection selection = table->selectionModel()->selection();
    if (selection.size() == 1 && selection.first().height() == 1 && selection.first().width() == 1)
        copyCell(selection.first().topLeft());
    else if (selection.isEmpty())
        copyCell(table->currentIndex());
    else
        copyRows();
}

void JournalViewDlg::copyRows()
{
    const QTableWidget* table = ui->journalTable;
    QStringList titles;
    for (int c = 0; c < table->columnCount(); ++c)
        titles.append(table->horizontalHeaderItem(c) ? table->horizontalHeaderItem(c)->text()
                                                     : QString());
    const QString text = JournalWriter::copyText(
        selectedRows(), m_controller, titles,
        [this](int row) {
            const int record = recordOfRow(row);
            return record >= 0 && record < m_when.size() ? m_when.at(record) : JournalTime::Unknown;
        },
        [table](int row, int column) {
            const QTableWidgetItem* item = table->item(row, column);
            return item ? item->text() : QString();
        });
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void JournalViewDlg::copyCell(const QModelIndex& index)
{
    if (index.isValid())
        QGuiApplication::clipboard()->setText(index.data().toString());
}

void JournalViewDlg::showTableMenu(const QPoint& pos)
{
    QTableWidget* table = ui->journalTable;
    QModelIndex index = table->indexAt(pos);
    if (!index.isValid())
        index = table->currentIndex();
    m_copyRows->setEnabled(table->selectionModel()->hasSelection());
    QMenu menu(this);
    menu.addAction(m_copyRows);
    QAction* cell = menu.addAction(tr("Copy cell"));
    cell->setEnabled(index.isValid());
    menu.addSeparator();
    menu.addAction(m_goToTime);
    if (menu.exec(table->viewport()->mapToGlobal(pos)) == cell)
        copyCell(index);
}

void JournalViewDlg::on_saveButton_clicked()
{
    if (!saveDirChosen) {
        saveDirChosen = true;
        lastSaveDir = saveDirPath;
    }
    // "txt" of "Text files (*.txt)".
    const auto suffixOf = [](const QString& filter) {
        const int star = int(filter.lastIndexOf(QLatin1String("*.")));
        return star < 0 ? QString() : filter.mid(star + 2).section(QLatin1Char(')'), 0, 0);
    };
    QFileDialog ask(this, tr("Select file to save"), lastSaveDir,
                    tr("Text files (*.txt);;csv files (*.csv);;Binary files (*.bin)"));
    ask.setAcceptMode(QFileDialog::AcceptSave);
    JournalViewSettings kept;
    const QString lastSuffix = kept.saveSuffix();
    for (const QString& filter : ask.nameFilters())
        if (suffixOf(filter) == lastSuffix)
            ask.selectNameFilter(filter);
    if (!m_saveName.isEmpty())
        ask.selectFile(m_saveName + QLatin1Char('.') + suffixOf(ask.selectedNameFilter()));
    if (ask.exec() != QDialog::Accepted || ask.selectedFiles().value(0).isEmpty())
        return;
    const QString selectedFilter = ask.selectedNameFilter();
    kept.setSaveSuffix(suffixOf(selectedFilter));
    QString fileName = ask.selectedFiles().value(0);
    // A name typed without extension gets the chosen filter's; the dialog
    // asked about replacing only the name as typed.
    if (QFileInfo(fileName).suffix().isEmpty()) {
        fileName += QLatin1Char('.') + suffixOf(selectedFilter);
        if (QFileInfo::exists(fileName) &&
            QMessageBox::question(this, tr("Select file to save"),
                                  tr("%1 already exists.\nDo you want to replace it?")
                                      .arg(QDir::toNativeSeparators(fileName))) != QMessageBox::Yes)
            return;
    }

    bool saved = false;
    QString error;
    {
        // Written aside and renamed into place, so a failed write never leaves
        // a half file nor destroys an existing one; what is left aside goes
        // with the object. Unbuffered: each write fails at once, with the
        // system's reason, and nothing is left for commit() to lose.
        QSaveFile file(fileName);
        bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        if (written && selectedFilter.contains(QLatin1String("*.bin"))) {
            written = JournalWriter::writeAll(file, journalData);
        } else if (written) {
            const JournalWriter::Format format = selectedFilter.contains(QLatin1String("*.csv"))
                                                     ? JournalWriter::Format::Csv
                                                     : JournalWriter::Format::AlignedText;
            const QTableWidget* table = ui->journalTable;
            // With "Only matches" the rows shown, otherwise all of them.
            QVector<int> shown;
            if (m_filtered) {
                for (int r = 0; r < table->rowCount(); ++r)
                    if (!table->isRowHidden(r))
                        shown.append(r);
            }
            const int rowCount = m_filtered ? shown.size() : table->rowCount();
            written = JournalWriter::write(
                file, format, rowCount, table->columnCount(), [&](int row, int column) {
                    const QTableWidgetItem* item =
                        table->item(m_filtered ? shown.at(row) : row, column);
                    return item ? item->text() : QString();
                });
        }
        saved = written && file.commit();
        if (!saved)
            error = file.errorString();
    }
    // The operator would otherwise believe the journal saved.
    if (!saved)
        QMessageBox::warning(this, tr("Journal not saved"),
                             tr("The journal could not be saved to %1:\n%2")
                                 .arg(QDir::toNativeSeparators(fileName), error));
}
