#include "journal/journalviewdlg.h"
#include "ui_journalviewdlg.h"

#include "core/downloadfile.h"
#include "journal/journalcelldelegate.h"
#include "journal/journaldecoder.h"
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
#include <QSet>
#include <QShowEvent>
#include <QSignalBlocker>
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

// A search scans this many cells (a few milliseconds) between looks at the
// clock, and gives the event loop a turn after SliceMs, so a keystroke never
// waits long behind it; a table of up to SliceCells cells is searched at once.
constexpr int SliceCells = 65536;
constexpr int SliceMs = 15;

} // namespace

JournalViewDlg::JournalViewDlg(QWidget* parent, QByteArray data, QString saveDir)
    : QDialog(parent), ui(std::make_unique<Ui::JournalViewDlg>()), journalData(std::move(data)),
      saveDirPath(std::move(saveDir))
{
    ui->setupUi(this);
    JournalTable* table = ui->journalTable;
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
    m_delegate = new JournalCellDelegate(table);
    table->setItemDelegate(m_delegate);
    m_searchSlice = new QTimer(this);
    m_searchSlice->setSingleShot(true);
    m_searchSlice->setInterval(0);
    connect(m_searchSlice, &QTimer::timeout, this, &JournalViewDlg::continueSearch);
    ui->findEdit->installEventFilter(this);
    connect(table->model(), &QAbstractItemModel::dataChanged, this, &JournalViewDlg::cellsChanged);
    connect(table, &JournalTable::rowsRearranged, this, &JournalViewDlg::rowsRearranged);
    connect(table->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &JournalViewDlg::showMatchPosition);
    for (QToolButton* level : {ui->levelE, ui->levelW, ui->levelI})
        connect(level, &QToolButton::toggled, this, &JournalViewDlg::applyFilter);
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
    setUpActions();
}

void JournalViewDlg::setUpActions()
{
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
    // Copy takes whole rows; an editor open in a cell keeps Ctrl+C for its own text.
    JournalTable* table = ui->journalTable;
    auto* copy = new QAction(this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    table->addAction(copy);
    connect(copy, &QAction::triggered, this, &JournalViewDlg::copySelection);
    m_copyRows = new QAction(tr("Copy rows"), this);
    connect(m_copyRows, &QAction::triggered, this, &JournalViewDlg::copyRows);
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table, &QWidget::customContextMenuRequested, this, &JournalViewDlg::showTableMenu);
}

void JournalViewDlg::load(const QString& mesPath, const Progress& progress, const QDate& written)
{
    fill(decode(mesPath, progress, written), progress);
    if (m_cancelled || m_tooMuchText)
        journalData = QByteArray();
    else if (m_definitionsRefusal.isEmpty())
        restoreLayout();
}

QVector<JournalRow> JournalViewDlg::decode(const QString& mesPath, const Progress& progress,
                                           const QDate& written)
{
    // Decoding is the first half of an open, filling the table the second.
    const auto decoding = [this, &progress](int done, int total) {
        m_cancelled = m_cancelled || !progress(total ? int(qint64(done) * 500 / total) : 0);
        return !m_cancelled;
    };
    const JournalDecoder::Progress told = progress ? decoding : JournalDecoder::Progress();
    m_textJournal = mesPath.isEmpty();
    // Binary records carry no level.
    for (QToolButton* level : {ui->levelE, ui->levelW, ui->levelI})
        level->setVisible(m_textJournal);
    if (m_textJournal) {
        ui->journalTable->insertColumn(1);
        ui->journalTable->setHorizontalHeaderItem(1, new QTableWidgetItem(tr("type")));
        // Errors and warnings stand out from the other rows.
        m_delegate->setTypeColumn(1);
        return JournalDecoder::decodeText(journalData, told);
    }
    mesFile.setFileName(mesPath);
    // An unreadable definition file leaves the table empty; so does one
    // that never ends or never opens (a device, a FIFO) or is far too large.
    QByteArray definitions;
    const DownloadFile::ReadResult read =
        DownloadFile::readRegular(mesFile, MessageDefinitionParser::maxFileSize, &definitions);
    if (read != DownloadFile::Read) {
        m_definitionsRefusal = tr("Cannot read the message definitions %1: %2")
                                   .arg(QDir::toNativeSeparators(mesPath),
                                        DownloadFile::readFailure(
                                            read, mesFile, MessageDefinitionParser::maxFileSize));
        return {};
    }
    QBuffer buffer(&definitions);
    buffer.open(QIODevice::ReadOnly);
    MessageDefinitionParser::parse(buffer, sources, messages);
    return JournalDecoder(messages, sources)
        .decodeBinary(journalData, told, &m_tooMuchText, written);
}

void JournalViewDlg::fill(const QVector<JournalRow>& rows, const Progress& progress)
{
    if (m_cancelled || !m_definitionsRefusal.isEmpty())
        return;
    const auto filling = [this, &progress](int permille) {
        m_cancelled = m_cancelled || !progress(500 + permille / 2);
        return !m_cancelled;
    };
    QVector<int> order;
    ui->journalTable->fill(rows, m_textJournal, &m_search, progress ? filling : Progress(), &order);
    if (m_cancelled || m_tooMuchText)
        return;
    m_cellsStale = false;
    m_when.resize(rows.size());
    for (int i = 0; i < rows.size(); ++i)
        m_when[i] = rows.at(i).when;
    m_oldestFirst = QVector<int>(order.crbegin(), order.crend());
    if (timelineShown) {
        QVector<bool> errors;
        if (m_textJournal) {
            errors.resize(rows.size());
            for (int i = 0; i < rows.size(); ++i)
                errors[i] = rows.at(i).type == QLatin1String("E");
        }
        buildTimeline(errors);
    }
}

void JournalViewDlg::restoreLayout()
{
    JournalTable* table = ui->journalTable;
    const QVector<int> widths = JournalViewSettings().columnWidths(table->columnCount());
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
    table->freezeTimeColumn();
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
    const JournalTable* table = ui->journalTable;
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
    JournalTable* table = ui->journalTable;
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
    JournalTable* table = ui->journalTable;
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
}

void JournalViewDlg::setFontSize(int points)
{
    if (m_defaultFontSize <= 0)
        return; // a font sized in pixels is left as it is
    JournalTable* table = ui->journalTable;
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
    table->setDefaultRowHeight(
        qMax(1, m_defaultRowHeight + after - QFontMetrics(defaultFont).height()));
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
    connect(m_timelineView, &JournalTimelineView::binClicked, this,
            [this](int bin) { ui->journalTable->showRecord(m_timeline.bins().at(bin).first); });
    connect(ui->journalTable->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                const int record = ui->journalTable->recordOfRow(current.row());
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
}

JournalViewDlg::HeapTrim::~HeapTrim()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

void JournalViewDlg::loadCells()
{
    if (!m_cellsStale)
        return;
    const JournalTable* table = ui->journalTable;
    const int rows = table->rowCount();
    const int columns = table->columnCount();
    QVector<QString> texts(rows * columns);
    for (int c = 0; c < columns; ++c)
        for (int r = 0; r < rows; ++r)
            texts[c * rows + r] = table->text(r, c);
    m_search.setCells(rows, columns, std::move(texts));
    m_cellsStale = false;
}

void JournalViewDlg::cellsChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight)
{
    if (m_cellsStale)
        return;
    const JournalTable* table = ui->journalTable;
    for (int c = topLeft.column(); c <= bottomRight.column(); ++c)
        for (int r = topLeft.row(); r <= bottomRight.row(); ++r)
            m_search.setCell(r, c, table->text(r, c));
}

void JournalViewDlg::rowsRearranged()
{
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
    ui->journalTable->selectionMovedTo(m_search.matches());
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
    // The previous matches stay selected until the new ones are known (an
    // empty text's at once).
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
    ui->journalTable->selectCells(found, m_search.rows());
    markMatches();
    // From where the operator is: the current row's matches count too.
    if (nearest && !found.isEmpty())
        goToMatch(true, true);
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
            const int record = ui->journalTable->recordOfRow(m_search.rowOf(m));
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

void JournalViewDlg::applyFilter()
{
    const bool onlyMatches = ui->onlyMatches->isChecked() && !m_search.text().isEmpty();
    if (onlyMatches && !m_search.isDone())
        return; // the rows are known when the search is
    const QStringList levels = shownLevels();
    JournalTable* table = ui->journalTable;
    const int rows = levels.isEmpty() ? 0 : table->rowCount();
    QVector<bool> shown = onlyMatches ? m_search.matchingRows() : QVector<bool>(rows, true);
    for (int r = 0; r < rows; ++r) {
        shown[r] = shown.at(r) && levels.contains(table->text(r, 1));
    }
    table->showRows(shown);
}

void JournalViewDlg::on_onlyMatches_toggled(bool)
{
    if (m_search.isDone())
        applyFilter();
}

void JournalViewDlg::goToMatch(bool forward, bool wholeRow)
{
    if (!m_search.isDone()) {
        m_searchSlice->stop();
        m_search.proceed(std::numeric_limits<int>::max());
        showMatches(false);
    }
    JournalTable* table = ui->journalTable;
    const QModelIndex current = table->currentIndex();
    const int row = current.isValid() ? current.row() : -1;
    const int column = wholeRow ? -1 : current.column();
    bool wrapped = false;
    const int match =
        forward ? m_search.next(row, column, &wrapped) : m_search.previous(row, column, &wrapped);
    ui->searchStatus->setText(!wrapped  ? QString()
                              : forward ? tr("Search wrapped to the top")
                                        : tr("Search wrapped to the bottom"));
    if (match < 0)
        return;
    table->showCell(m_search.rowOf(match), m_search.columnOf(match));
}

void JournalViewDlg::goToTime()
{
    // Where the operator is, or else the newest record, is where the question starts.
    const int here = ui->journalTable->recordOfRow(ui->journalTable->currentIndex().row());
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
    ui->journalTable->showRecord(JournalTime::goTo(m_oldestFirst, m_when, target));
}

bool JournalViewDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->journalTable->viewport() && event->type() == QEvent::Resize)
        m_fitMessage->start();
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

void JournalViewDlg::copySelection()
{
    const JournalTable* table = ui->journalTable;
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
    const JournalTable* table = ui->journalTable;
    QStringList titles;
    for (int c = 0; c < table->columnCount(); ++c)
        titles.append(table->horizontalHeaderItem(c) ? table->horizontalHeaderItem(c)->text()
                                                     : QString());
    const QString text = JournalWriter::copyText(
        table->shownRows(true), m_controller, titles,
        [this](int row) {
            const int record = ui->journalTable->recordOfRow(row);
            return record >= 0 && record < m_when.size() ? m_when.at(record) : JournalTime::Unknown;
        },
        [table](int row, int column) { return table->text(row, column); });
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
    JournalTable* table = ui->journalTable;
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
            const JournalTable* table = ui->journalTable;
            // With "Only matches" the rows shown, otherwise all of them.
            const QVector<int> shown = table->shownRows();
            written = JournalWriter::write(
                file, format, shown.size(), table->columnCount(),
                [&](int row, int column) { return table->text(shown.at(row), column); });
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
