#include "queue/queuewindow.h"
#include "ui_queuewindow.h"

#include "core/journalversion.h"
#include "queue/downloadengine.h"
#include "queue/statustip.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QToolButton>
#include <QToolTip>

#include <QHeaderView>
#include <QPointer>
#include <QProgressBar>
#include <QStyle>
#include <QTimer>
#include <algorithm>

namespace {

// Texts from controllers, responses and files as a tooltip: plain (a text
// that looks like markup would otherwise be laid out as such, images and
// all) and cut short.
QString plainTip(const QString& text)
{
    constexpr int maxTip = 600;
    const QString cut = text.size() > maxTip ? text.left(maxTip - 1) + QChar(0x2026) : text;
    return Qt::convertFromPlainText(cut, Qt::WhiteSpaceNormal);
}

} // namespace

QueueWindow::QueueWindow(QWidget* parent, bool journal)
    : QWidget(parent), ui(std::make_unique<Ui::QueueWindow>()),
      engine(new DownloadEngine(journal, this)), refresh(new QTimer(this)), journal(journal)
{
    ui->setupUi(this);
    refresh->setSingleShot(true);
    connect(refresh, &QTimer::timeout, this, &QueueWindow::showChanges);
    setWindowTitle(journal ? tr("Journals queue") : tr("Configurations queue"));

    struct
    {
        QString text;
        void (QueueWindow::*slot)();
        QAction** kept;
    } const actions[] = {
        {journal ? tr("View") : tr("Run editor"), &QueueWindow::openConfigEditor, &openAction},
        {tr("Clear queue"), &QueueWindow::confirmClearQueue, nullptr},
        {tr("Stop downloading"), &QueueWindow::stopDownloading, &stopAction},
        {tr("Resume"), &QueueWindow::resumeDownloading, &resumeAction},
        {tr("Retry"), &QueueWindow::retryDownloading, &retryAction},
        {tr("Remove"), &QueueWindow::removeSelected, &removeAction},
    };
    // Keys that act on the queue hold while the focus is in it only: the dock
    // shares its window with the host's own widgets. The menu names them.
    for (const auto& a : actions) {
        auto* action = new QAction(a.text, ui->queueTable);
        connect(action, &QAction::triggered, this, a.slot);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        action->setShortcutVisibleInContextMenu(true);
        ui->queueTable->addAction(action);
        if (a.kept)
            *a.kept = action;
    }
    removeAction->setShortcuts(QKeySequence::Delete);
    queueKeys << removeAction;
    const struct
    {
        QList<QKeySequence> keys;
        void (QueueWindow::*slot)();
    } keys[] = {
        {QKeySequence::keyBindings(QKeySequence::SelectAll), &QueueWindow::selectAllRows},
        {{QKeySequence(Qt::SHIFT | Qt::Key_F10)}, &QueueWindow::openContextMenu},
        {QKeySequence::keyBindings(QKeySequence::Find), &QueueWindow::focusFilterEdit},
    };
    for (const auto& k : keys) {
        auto* action = new QAction(this); // the window's: not in the menu
        action->setShortcuts(k.keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, k.slot);
        addAction(action);
        queueKeys << action;
    }
    // The filter beside the counts; the counts stay those of the whole queue.
    const struct
    {
        QToolButton* button;
        Filter shows;
    } filters[] = {{ui->filterAll, Filter::All},
                   {ui->filterActive, Filter::Active},
                   {ui->filterFailed, Filter::Failed}};
    for (const auto& f : filters) {
        connect(f.button, &QToolButton::toggled, this, [this, shows = f.shows](bool on) {
            if (!on || filter == shows)
                return;
            filter = shows;
            filterAllRows();
            updateActions();
        });
    }
    connect(ui->queueFilterEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        const QString trimmed = text.trimmed();
        if (trimmed == filterText)
            return;
        filterText = trimmed;
        filterAllRows();
        updateActions();
    });
    ui->queueFilterEdit->installEventFilter(this);
    ui->queueTable->installEventFilter(this);
    ui->queueTable->viewport()->installEventFilter(this);
    // A style's own icon: it reads in light and dark palettes alike.
    failedIcon = style()->standardIcon(QStyle::SP_MessageBoxCritical);
    connect(ui->queueTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &QueueWindow::updateActions);
    updateActions();
    showCounts();

    // Rows are appended in queue order until the operator sorts by a column
    // (the header starts without a sort column, so new rows stay at the end).
    ui->queueTable->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);

    // Sorting (by the operator, or the table's own sorted insertion) and row
    // removal move rows: the cells are put back where they now stand.
    QAbstractItemModel* model = ui->queueTable->model();
    connect(model, &QAbstractItemModel::layoutChanged, this, &QueueWindow::scheduleReseat);
    connect(model, &QAbstractItemModel::rowsMoved, this, &QueueWindow::scheduleReseat);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &QueueWindow::scheduleReseat);

    connect(engine, &DownloadEngine::itemAdded, this, &QueueWindow::addRow);
    connect(engine, &DownloadEngine::itemChanged, this, &QueueWindow::itemChanged);
    connect(engine, &DownloadEngine::itemRemoved, this, &QueueWindow::removeRow);
    // The host hears of every end at once; the table follows with the next pass.
    connect(engine, &DownloadEngine::downloadComplete, this, &QueueWindow::downloadComplete);
    connect(engine, &DownloadEngine::downloadFailed, this, &QueueWindow::downloadFailed);
}

QueueWindow::~QueueWindow() = default;

void QueueWindow::setSaveDir(const QDir& dir)
{
    engine->setSaveDir(dir);
}

// ---------------------------------------------------------------- requests

void QueueWindow::enqueue(QObject* light, int blocks)
{
    ++inRequest;
    engine->enqueue(light, blocks);
    --inRequest;
    showAfterRequest();
}

void QueueWindow::showAfterRequest()
{
    // A host that queues its fleet in one loop sees the first rows filled in
    // at once and the others when its loop has returned, in one refresh
    // rather than one a light.
    if (requestsThisPass++ == 0) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                const bool many = requestsThisPass > manyRequests;
                requestsThisPass = 0;
                if (many)
                    showChanges();
            },
            Qt::QueuedConnection);
    }
    if (requestsThisPass <= manyRequests)
        showChanges();
}

void QueueWindow::loadConfigFromStorage(QObject* cnfStorage, QObject* light,
                                        const QString& datetime, int max_errors)
{
    const QPointer<QueueWindow> self(this);
    engine->loadConfigFromStorage(cnfStorage, light, datetime, max_errors);
    // The storage call may have run the event loop, and the host may have
    // closed this window meanwhile.
    if (self)
        showChanges();
}

void QueueWindow::clearQueue()
{
    clearing = true;
    engine->clear();
    clearing = false;
    rows.clear();
    changed.clear();
    ui->queueTable->setRowCount(0);
    std::fill(std::begin(longestText), std::end(longestText), 0);
    showCounts();
    updateActions();
}

void QueueWindow::clearQueue(QObjectList obj_list)
{
    ++inRequest;
    removeRows(obj_list);
    --inRequest;
    showChanges();
}

// ---------------------------------------------------------------- table

void QueueWindow::addRow(QObject* light)
{
    const QueueItem* item = engine->item(light);
    QueueTable* table = ui->queueTable;
    Row row;
    table->insertRow(table->rowCount());
    auto* object = new NumberCell(item->shown.id, QString::number(item->shown.id));
    object->setData(Qt::UserRole, QVariant::fromValue(light));
    table->setItem(table->rowCount() - 1, ObjectColumn, object);
    row.cells[ObjectColumn] = object;
    // With sorting on, the row may move as each cell arrives.
    const struct
    {
        Column column;
        QString text;
    } texts[] = {{TypeColumn, item->shown.type},
                 {LoadedColumn, QStringLiteral("0")},
                 {ErrorsColumn, QStringLiteral("0")},
                 {StatusColumn, tr("waiting")}};
    for (const auto& t : texts) {
        // Loaded and errors start at 0 and sort by their numbers.
        row.cells[t.column] = t.column == LoadedColumn || t.column == ErrorsColumn
                                  ? new NumberCell(0, t.text)
                                  : new QTableWidgetItem(t.text);
        table->setItem(table->row(object), t.column, row.cells[t.column]);
    }
    row.bar = new QProgressBar;
    row.bar->setRange(0, item->shown.barMaximum);
    row.bar->setValue(0);
    table->setRowWidget(table->row(object), StateColumn, row.bar);
    row.phase = int(item->phase());
    rows.insert(light, row);
    filterRow(object, *item);
    // The first row fits the columns (with their titles) and the rows; later
    // ones widen a column only with a text longer than it has shown.
    if (table->rowCount() == 1) {
        table->resizeColumnsToContents();
        table->fitRowsToContents();
    }
    for (QTableWidgetItem* cell : row.cells)
        if (cell)
            fitColumn(cell, cell->text().size(), table->rowCount() > 1);
}

void QueueWindow::removeRow(QObject* light)
{
    changed.remove(light); // a new light may come to the same address
    const auto it = rows.find(light);
    if (it == rows.end())
        return;
    const int row = ui->queueTable->row(it->cells[ObjectColumn]);
    rows.erase(it);
    if (clearing)
        return;
    if (row >= 0 && removing)
        rowsToRemove.append(row);
    else if (row >= 0)
        ui->queueTable->removeRow(row);
    scheduleRefresh(); // the counts
}

void QueueWindow::removeRows(const QObjectList& lights)
{
    // The rows go in one batch once the items are gone: one row at a time
    // would move the rows below, and tell the selection, each time.
    removing = true;
    rowsToRemove.clear();
    engine->remove(lights);
    removing = false;
    if (rowsToRemove.isEmpty())
        return;
    std::sort(rowsToRemove.begin(), rowsToRemove.end());
    const QSignalBlocker quiet(ui->queueTable->selectionModel());
    ui->queueTable->removeRowsAt(rowsToRemove);
    rowsToRemove.clear();
    updateActions();
}

void QueueWindow::itemChanged(QObject* light)
{
    changed.insert(light);
    scheduleRefresh();
}

void QueueWindow::scheduleRefresh()
{
    // A request shows its changes as it returns. Starting and stopping the
    // timer on every one would cost as much as the host's own pending timers
    // (Qt finds a timer to stop by walking them all): a fleet queued in one
    // loop, each light answering through a timer, would take quadratic time.
    if (inRequest > 0 || refresh->isActive())
        return;
    // A refresh at most every refreshInterval: answers that come faster
    // change what the next refresh shows, not the table in between.
    const qint64 since = sinceShown.isValid() ? sinceShown.elapsed() : refreshInterval;
    refresh->start(int(qBound(qint64(0), refreshInterval - since, qint64(refreshInterval))));
}

void QueueWindow::showChanges()
{
    refresh->stop();
    QElapsedTimer took;
    took.start();
    const QSet<QObject*> lights = std::exchange(changed, {});
    for (QObject* light : lights) {
        const auto row = rows.find(light);
        const QueueItem* item = engine->item(light);
        if (row != rows.end() && item)
            showItem(*row, *item);
    }
    showCounts();
    if (ui->queueTable->selectionModel()->hasSelection())
        updateActions();
    // With thousands of rows changing at once, refreshes come further apart,
    // so that they never take more than a tenth of the time.
    refreshInterval = int(qBound(qint64(refreshMs), 10 * took.elapsed(), qint64(maxRefreshMs)));
    sinceShown.start();
}

void QueueWindow::showCounts()
{
    using Phase = QueueItem::Phase;
    int counts[QueueItem::phaseCount];
    for (int phase = 0; phase < QueueItem::phaseCount; ++phase)
        counts[phase] = engine->countIn(Phase(phase));
    if (std::equal(std::begin(counts), std::end(counts), std::begin(countsShown)))
        return;
    std::copy(std::begin(counts), std::end(counts), std::begin(countsShown));
    QString text = tr("Waiting: %1   Downloading: %2   Completed: %3   Retrying: %4   Failed: %5   "
                      "Stopped: %6")
                       .arg(QString::number(counts[int(Phase::Waiting)]),
                            QString::number(counts[int(Phase::Downloading)]),
                            QString::number(counts[int(Phase::Completed)]),
                            QString::number(counts[int(Phase::Retrying)]),
                            QString::number(counts[int(Phase::Failed)]),
                            QString::number(counts[int(Phase::Stopped)]));
    // A narrow dock wraps the line between counts, never inside one.
    text.replace(QLatin1String(": "), QStringLiteral(":\u00A0"));
    ui->queueCounts->setText(text);
}

void QueueWindow::showItem(Row& row, const QueueItem& item)
{
    // Each text may re-sort the table; the cells go with their row.
    bool refilter = row.phase != int(item.phase());
    const QueueItem::Shown& was = row.shown;
    const QueueItem::Shown& now = item.shown;
    if (was.typeText != now.typeText) {
        setCellText(row.cells[TypeColumn], typeText(item));
        refilter = refilter || !filterText.isEmpty();
    }
    if (was.loadedText != now.loadedText || was.loadedValue != now.loadedValue) {
        QString loaded = QStringLiteral("0");
        if (now.loadedText == AnswerOutcome::Blocks)
            loaded = tr("%1 blocks").arg(now.loadedValue);
        else if (now.loadedText == AnswerOutcome::Bytes)
            loaded = tr("%1 bytes").arg(now.loadedValue);
        const bool shown = now.loadedText != AnswerOutcome::NoLoadedText;
        static_cast<NumberCell*>(row.cells[LoadedColumn])->setValue(shown ? now.loadedValue : 0);
        setCellText(row.cells[LoadedColumn], loaded);
    }
    if (row.errors != item.errors) {
        row.errors = item.errors;
        static_cast<NumberCell*>(row.cells[ErrorsColumn])->setValue(item.errors);
        setCellText(row.cells[ErrorsColumn], QString::number(item.errors));
    }
    if (was.status != now.status || was.message != now.message || was.ended != now.ended ||
        was.waitingSince != now.waitingSince || was.retries != now.retries)
        showStatus(row.cells[StatusColumn], item);
    row.shown = now;
    changeBar(row.bar, now.barMaximum, now.barValue);
    if (refilter) {
        row.phase = int(item.phase());
        filterRow(row.cells[ObjectColumn], item);
    }
}

QString QueueWindow::typeText(const QueueItem& item) const
{
    if (item.shown.typeText == AnswerOutcome::Adapter)
        return tr("Adapter");
    if (item.shown.typeText == AnswerOutcome::HeaderType)
        return item.shown.headerType;
    return item.shown.type;
}

void QueueWindow::showStatus(QTableWidgetItem* cell, const QueueItem& item)
{
    setCellText(cell, statusText(item));
    // A failure stands out; what it means and what to do, its whole message
    // (cut short in the cell), where a download went and since when an item
    // waits are one hover away.
    const bool failed = item.hasFailed();
    if (failed || !cell->icon().isNull())
        cell->setIcon(failed ? failedIcon : QIcon());
    const QString tip = StatusTip::text(item);
    if (!tip.isEmpty() || !cell->toolTip().isEmpty())
        cell->setToolTip(tip.isEmpty() ? QString() : plainTip(tip));
}

QString QueueWindow::statusText(const QueueItem& item) const
{
    switch (item.shown.status) {
    case QueueItem::Status::Waiting:
        return tr("waiting");
    case QueueItem::Status::WaitingForConnection:
        return tr("waiting for connection");
    case QueueItem::Status::Downloading:
        return tr("downloading");
    case QueueItem::Status::Disconnected:
        return tr("disconnected");
    case QueueItem::Status::Interrupted:
        return tr("interrupted");
    case QueueItem::Status::Resumed:
        return tr("resumed");
    case QueueItem::Status::Completed:
        return tr("completed");
    case QueueItem::Status::Failed:
        break;
    }
    return item.shown.message;
}

void QueueWindow::setCellText(QTableWidgetItem* cell, const QString& text)
{
    // Called only when what the cell shows has changed (see showItem).
    cell->setText(text);
    fitColumn(cell, text.size(), true);
}

void QueueWindow::fitColumn(QTableWidgetItem* cell, int length, bool widen)
{
    // A text longer than any the column held ("1024 bytes" after "836 bytes")
    // would be cut short. Rare enough to be measured at once.
    const int column = cell->column();
    if (length <= longestText[column])
        return;
    longestText[column] = length;
    if (widen)
        ui->queueTable->widenColumnFor(cell);
}

void QueueWindow::changeBar(QProgressBar* bar, int maximum, int value)
{
    if (!bar || (bar->maximum() == maximum && bar->minimum() == 0 && bar->value() == value))
        return;
    // A bar repaints itself at once on each change, and each repaint walks all
    // its sibling bars: a cost that grows with the queue. Changes are made
    // quietly instead; a bar in sight is painted with the next frame, and a
    // bar scrolled out of sight when it comes back.
    const bool shown = bar->isVisible();
    if (shown)
        bar->setAttribute(Qt::WA_UpdatesDisabled, true);
    bar->setRange(0, maximum);
    bar->setValue(value);
    if (!shown)
        return;
    bar->setAttribute(Qt::WA_UpdatesDisabled, false);
    if (ui->queueTable->viewport()->rect().intersects(bar->geometry()))
        bar->update();
}

QObject* QueueWindow::lightOfRow(int row) const
{
    const QTableWidgetItem* cell = ui->queueTable->item(row, ObjectColumn);
    if (!cell || cell->text().toInt() == 0)
        return nullptr;
    QObject* light = cell->data(Qt::UserRole).value<QObject*>();
    return engine->item(light) ? light : nullptr;
}

QList<int> QueueWindow::selectedRows() const
{
    QList<int> rowList;
    QSet<int> seen;
    const QModelIndexList selected = ui->queueTable->selectionModel()->selectedIndexes();
    for (const QModelIndex& index : selected) {
        // A row the filter hides is never acted on, selected or not.
        if (!seen.contains(index.row()) && !ui->queueTable->isRowHidden(index.row())) {
            seen.insert(index.row());
            rowList.append(index.row());
        }
    }
    return rowList;
}

QObjectList QueueWindow::selectedLights(bool (QueueItem::*canAct)() const) const
{
    // Collected first: acting on one item may move or remove rows.
    QObjectList lights;
    const QList<int> rowList = selectedRows();
    for (int row : rowList)
        if (QObject* light = lightOfRow(row))
            if ((engine->item(light)->*canAct)())
                lights.append(light);
    return lights;
}

void QueueWindow::updateActions()
{
    bool open = false, stop = false, resume = false, retry = false, remove = false;
    const QList<int> rowList = selectedRows();
    for (int row : rowList) {
        if (QObject* light = lightOfRow(row)) {
            const QueueItem& item = *engine->item(light);
            remove = true;
            open = open || item.canOpen(journal);
            stop = stop || item.canStop();
            resume = resume || item.canResume();
            retry = retry || item.canRetry();
            if (open && stop && resume && retry)
                break;
        }
    }
    openAction->setEnabled(open);
    stopAction->setEnabled(stop);
    resumeAction->setEnabled(resume);
    retryAction->setEnabled(retry);
    removeAction->setEnabled(remove);
}

void QueueWindow::scheduleReseat()
{
    if (reseating || reseatPending)
        return;
    reseatPending = true;
    QTimer::singleShot(0, this, [this] {
        reseatPending = false;
        reseatCells();
    });
}

void QueueWindow::reseatCells()
{
    // The table finds a changed cell through the position the cell was put
    // at; once rows have moved, that becomes a search through every cell on
    // every change. Putting the cells back where they now stand makes it a
    // direct look-up again. Sorting is off meanwhile so that nothing moves.
    QTableWidget* table = ui->queueTable;
    const bool sorting = table->isSortingEnabled();
    reseating = true;
    table->setSortingEnabled(false);
    const int rowCount = table->rowCount();
    const int columns = table->columnCount();
    for (int row = 0; row < rowCount; ++row) {
        for (int column = 0; column < columns; ++column) {
            if (QTableWidgetItem* cell = table->takeItem(row, column))
                table->setItem(row, column, cell);
        }
    }
    table->setSortingEnabled(sorting);
    reseating = false;
    // Hidden rows are the table's rows, not the items': they are put right too.
    if (filtering())
        filterAllRows();
}

// ---------------------------------------------------------------- actions

void QueueWindow::stopDownloading()
{
    engine->stop(selectedLights(&QueueItem::canStop));
    showChanges();
}

void QueueWindow::resumeDownloading()
{
    engine->resume(selectedLights(&QueueItem::canResume));
    showChanges();
}

void QueueWindow::retryDownloading()
{
    engine->retry(selectedLights(&QueueItem::canRetry));
    showChanges();
}

void QueueWindow::removeSelected()
{
    // By the lights' ids, as the host's own calls remove them.
    clearQueue(selectedLights(&QueueItem::canRemove));
    updateActions();
}

void QueueWindow::confirmClearQueue()
{
    using Phase = QueueItem::Phase;
    const int total = engine->count();
    int running = 0;
    for (int p = 0; p < QueueItem::phaseCount; ++p)
        running += QueueItem::isRunning(Phase(p)) ? engine->countIn(Phase(p)) : 0;
    // Stopped and failed downloads may hold what Resume or Retry would save.
    const int unsaved = engine->unsavedCount();
    if (running > 0 || unsaved > 0) {
        QString question =
            total == 1 ? tr("Clear 1 download?") : tr("Clear %1 downloads?").arg(total);
        if (running > 0)
            question +=
                QLatin1Char(' ') + (running == 1 ? tr("1 is still running.")
                                                 : tr("%1 are still running.").arg(running));
        if (unsaved > 0)
            question += QLatin1Char(' ') +
                        (unsaved == 1 ? tr("1 holds data that is not saved yet.")
                                      : tr("%1 hold data that is not saved yet.").arg(unsaved));
        QMessageBox ask(QMessageBox::Question, tr("Clear queue"), question,
                        QMessageBox::Yes | QMessageBox::No, this);
        ask.setDefaultButton(QMessageBox::No);
        // The host may close this window while the question is open.
        const QPointer<QueueWindow> self(this);
        const int answer = ask.exec();
        if (!self || answer != QMessageBox::Yes)
            return;
    }
    clearQueue();
}

void QueueWindow::selectAllRows()
{
    // The rows shown: a hidden row is out of the operator's hands.
    QueueTable* table = ui->queueTable;
    QItemSelection selection;
    const int rowCount = table->rowCount();
    const int last = table->columnCount() - 1;
    for (int row = 0; row < rowCount; ++row) {
        if (table->isRowHidden(row))
            continue;
        int end = row;
        while (end + 1 < rowCount && !table->isRowHidden(end + 1))
            ++end;
        selection.select(table->model()->index(row, 0), table->model()->index(end, last));
        row = end;
    }
    table->setFocus(Qt::ShortcutFocusReason);
    table->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void QueueWindow::openContextMenu()
{
    // Where and how the Menu key opens it: at the current cell, for the
    // reason of a key. Posted, so that the key's handling returns first.
    QueueTable* table = ui->queueTable;
    table->setFocus(Qt::ShortcutFocusReason);
    const QPoint at = table->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
    QCoreApplication::postEvent(
        table, new QContextMenuEvent(QContextMenuEvent::Keyboard, at, table->mapToGlobal(at)));
}

void QueueWindow::focusFilterEdit()
{
    ui->queueFilterEdit->setFocus(Qt::ShortcutFocusReason);
    ui->queueFilterEdit->selectAll();
}

bool QueueWindow::passesFilter(const QueueItem& item) const
{
    if (!filterText.isEmpty() && !QString::number(item.shown.id).contains(filterText) &&
        !typeText(item).contains(filterText, Qt::CaseInsensitive))
        return false;
    using Phase = QueueItem::Phase;
    const Phase phase = item.phase();
    switch (filter) {
    case Filter::All:
        break;
    case Filter::Active:
        return QueueItem::isRunning(phase);
    case Filter::Failed:
        return phase == Phase::Failed || phase == Phase::Retrying;
    }
    return true;
}

void QueueWindow::filterRow(QTableWidgetItem* objectCell, const QueueItem& item)
{
    const int row = ui->queueTable->row(objectCell);
    const bool hide = !passesFilter(item);
    if (row >= 0 && ui->queueTable->isRowHidden(row) != hide)
        ui->queueTable->setRowHidden(row, hide);
}

void QueueWindow::filterAllRows()
{
    for (auto it = rows.cbegin(); it != rows.cend(); ++it)
        if (const QueueItem* item = engine->item(it.key()))
            filterRow(it->cells[ObjectColumn], *item);
}

bool QueueWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip && watched == ui->queueTable->viewport())
        return showCutStatus(static_cast<QHelpEvent*>(event));
    if ((event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
        filterKey(watched, static_cast<QKeyEvent*>(event)))
        return true;
    return QWidget::eventFilter(watched, event);
}

QAction* QueueWindow::queueKeyAction(const QKeyEvent* key) const
{
    const QKeySequence pressed(int(key->modifiers() & ~Qt::KeypadModifier) | key->key());
    for (QAction* action : queueKeys)
        if (action->shortcuts().contains(pressed))
            return action;
    return nullptr;
}

bool QueueWindow::filterKey(QObject* watched, QKeyEvent* key)
{
    const bool override = key->type() == QEvent::ShortcutOverride;
    if (watched == ui->queueFilterEdit) {
        // Esc empties the filter box; one already empty leaves Esc to the host.
        if (key->key() != Qt::Key_Escape || key->modifiers() != Qt::NoModifier ||
            ui->queueFilterEdit->text().isEmpty())
            return false;
        if (!override)
            ui->queueFilterEdit->clear();
        key->accept();
        return true;
    }
    if (watched != ui->queueTable)
        return false;
    // As item views take the keys they handle themselves: a key accepted at
    // the override comes to the table as a key press, whatever shortcut the
    // host's window holds for it.
    QAction* action = queueKeyAction(key);
    if (!action)
        return false;
    if (!override && action->isEnabled())
        action->trigger();
    key->accept();
    return true;
}

bool QueueWindow::showCutStatus(QHelpEvent* event)
{
    QueueTable* table = ui->queueTable;
    const QModelIndex index = table->indexAt(event->pos());
    const QTableWidgetItem* cell = table->item(index.row(), index.column());
    // Cells with a tooltip of their own show it as the table does.
    if (!cell || index.column() != StatusColumn || !cell->toolTip().isEmpty() ||
        !table->isCut(index)) {
        return false;
    }
    QToolTip::showText(event->globalPos(), plainTip(cell->text()), table->viewport(),
                       table->visualRect(index));
    return true;
}

void QueueWindow::on_queueTable_cellDoubleClicked(int row, int)
{
    openLater({lightOfRow(row)});
}

void QueueWindow::openConfigEditor()
{
    QObjectList lights;
    const QList<int> rowList = selectedRows();
    for (int row : rowList)
        lights << lightOfRow(row);
    openLater(lights);
}

void QueueWindow::openLater(const QObjectList& lights)
{
    // A long journal opens with a progress dialog, an event loop in which the
    // host may delete this window: open only once the click or the menu that
    // asked has returned, and only what is still there.
    QVector<QPointer<QObject>> wanted;
    for (QObject* light : lights)
        if (light)
            wanted << light;
    if (wanted.isEmpty())
        return;
    QTimer::singleShot(0, this, [this, wanted] {
        const QPointer<QueueWindow> self(this);
        const QVector<QPointer<QObject>> pending = wanted;
        for (const QPointer<QObject>& light : pending) {
            if (!self)
                return;
            if (light)
                openItem(light);
        }
    });
}

void QueueWindow::openItem(QObject* light)
{
    const QueueItem* item = engine->item(light);
    if (!item || !item->canOpen(journal))
        return;
    if (journal) {
        const int version = JournalVersion::forLight(item->isTmHelix, item->isVegal,
                                                     light->property("type").toString());
        // Given back to its file under the memory budget: the file holds the
        // same bytes. A shared copy of the data: the item may go while the
        // journal opens.
        const QByteArray data = item->buffer;
        const QString file = item->memory.givenBack ? item->shown.savedPath : QString();
        if (!file.isEmpty() && engine->savedFileChanged(light) && !openChangedFile(file))
            return;
        // The operator may have answered after the item, or its light, went.
        item = engine->item(light);
        if (!item)
            return;
        emit viewJournalRequested(version, data, file, QFileInfo(item->filePath).absolutePath(),
                                  item->shown.id, item->shown.type);
    } else {
        emit openConfig(light);
    }
}

bool QueueWindow::openChangedFile(const QString& file)
{
    // Given back to its file under the memory budget, and the file is no
    // longer what was saved: other records under this row's name, unless the
    // operator wants them.
    QMessageBox ask(QMessageBox::Warning, tr("View journal"),
                    tr("The file %1 has changed since this download saved it: it may hold "
                       "other records. Open it anyway?")
                        .arg(QDir::toNativeSeparators(file)),
                    QMessageBox::Open | QMessageBox::Cancel, this);
    ask.setDefaultButton(QMessageBox::Cancel);
    const QPointer<QueueWindow> self(this);
    const int answer = ask.exec();
    return self && answer == QMessageBox::Open;
}
