#include "queue/queuewindow.h"
#include "ui_queuewindow.h"

#include "core/journalversion.h"
#include "queue/downloadengine.h"

#include <QAction>

#include <QHeaderView>
#include <QPointer>
#include <QProgressBar>
#include <QStyle>
#include <QTimer>
#include <QVector>
#include <algorithm>

QueueWindow::QueueWindow(QWidget* parent, bool journal)
    : QWidget(parent), ui(new Ui::QueueWindow), engine(new DownloadEngine(journal, this)),
      refresh(new QTimer(this)), journal(journal)
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
        {tr("Clear queue"), qOverload<>(&QueueWindow::clearQueue), nullptr},
        {tr("Stop downloading"), &QueueWindow::stopDownloading, &stopAction},
        {tr("Resume"), &QueueWindow::resumeDownloading, &resumeAction},
        {tr("Retry"), &QueueWindow::retryDownloading, &retryAction},
    };
    for (const auto& a : actions) {
        auto* action = new QAction(a.text, ui->queueTable);
        connect(action, &QAction::triggered, this, a.slot);
        ui->queueTable->addAction(action);
        if (a.kept)
            *a.kept = action;
    }
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

QueueWindow::~QueueWindow()
{
    delete ui;
}

QDir QueueWindow::saveDirectory() const
{
    return engine->saveDirectory();
}

void QueueWindow::setSaveDir(const QDir& dir)
{
    engine->setSaveDir(dir);
}

// ---------------------------------------------------------------- requests

void QueueWindow::enqueue(QObject* light, int blocks)
{
    engine->enqueue(light, blocks);
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
    engine->remove(obj_list);
}

// ---------------------------------------------------------------- table

void QueueWindow::addRow(QObject* light)
{
    const QueueItem* item = engine->item(light);
    QueueTable* table = ui->queueTable;
    Row row;
    table->insertRow(table->rowCount());
    auto* object = new NumberCell(item->id, QString::number(item->id));
    object->setData(Qt::UserRole, QVariant::fromValue(light));
    table->setItem(table->rowCount() - 1, ObjectColumn, object);
    row.cells[ObjectColumn] = object;
    // With sorting on, the row may move as each cell arrives.
    const struct
    {
        Column column;
        QString text;
    } texts[] = {{TypeColumn, item->type},
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
    row.bar->setRange(0, item->barMaximum);
    row.bar->setValue(0);
    table->setRowWidget(table->row(object), StateColumn, row.bar);
    rows.insert(light, row);
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
    if (row >= 0)
        ui->queueTable->removeRow(row);
    scheduleRefresh(); // the counts
}

void QueueWindow::itemChanged(QObject* light)
{
    changed.insert(light);
    scheduleRefresh();
}

void QueueWindow::scheduleRefresh()
{
    if (refresh->isActive())
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
    ui->queueCounts->setText(
        tr("Waiting: %1   Downloading: %2   Completed: %3   Failed: %4   Stopped: %5")
            .arg(counts[int(Phase::Waiting)])
            .arg(counts[int(Phase::Downloading)])
            .arg(counts[int(Phase::Completed)])
            .arg(counts[int(Phase::Failed)])
            .arg(counts[int(Phase::Stopped)]));
}

void QueueWindow::showItem(Row& row, const QueueItem& item)
{
    // Each text may re-sort the table; the cells go with their row.
    if (row.typeShown != item.typeShown) {
        row.typeShown = item.typeShown;
        QString type = item.type;
        if (item.typeShown == BlockOutcome::Adapter)
            type = tr("Adapter");
        else if (item.typeShown == BlockOutcome::HeaderType)
            type = item.headerType;
        setCellText(row.cells[TypeColumn], type);
    }
    if (row.loadedShown != item.loadedShown || row.loadedValue != item.loadedValue) {
        row.loadedShown = item.loadedShown;
        row.loadedValue = item.loadedValue;
        QString loaded = QStringLiteral("0");
        if (item.loadedShown == BlockOutcome::Blocks)
            loaded = tr("%1 blocks").arg(item.loadedValue);
        else if (item.loadedShown == BlockOutcome::Bytes)
            loaded = tr("%1 bytes").arg(item.loadedValue);
        const bool shown = item.loadedShown != BlockOutcome::NoLoadedText;
        static_cast<NumberCell*>(row.cells[LoadedColumn])->setValue(shown ? item.loadedValue : 0);
        setCellText(row.cells[LoadedColumn], loaded);
    }
    if (row.errors != item.errors) {
        row.errors = item.errors;
        static_cast<NumberCell*>(row.cells[ErrorsColumn])->setValue(item.errors);
        setCellText(row.cells[ErrorsColumn], QString::number(item.errors));
    }
    if (row.status != int(item.status) || row.message != item.message || row.ended != item.ended)
        showStatus(row, item);
    changeBar(row.bar, item.barMaximum, item.barValue);
}

void QueueWindow::showStatus(Row& row, const QueueItem& item)
{
    row.status = int(item.status);
    row.message = item.message;
    row.ended = item.ended;
    QTableWidgetItem* cell = row.cells[StatusColumn];
    setCellText(cell, statusText(item));
    // A failure stands out, and its whole message, cut short in the cell,
    // is one hover away.
    const bool failed = item.status == QueueItem::Status::Failed;
    if (!failed && !row.failedShown)
        return;
    row.failedShown = failed;
    cell->setIcon(failed ? failedIcon : QIcon());
    cell->setToolTip(
        failed ? tr("%1\nEnded %2")
                     .arg(item.message, item.ended.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")))
               : QString());
}

QString QueueWindow::statusText(const QueueItem& item) const
{
    switch (item.status) {
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
    return item.message;
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
        if (!seen.contains(index.row())) {
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
    bool open = false, stop = false, resume = false, retry = false;
    const QList<int> rowList = selectedRows();
    for (int row : rowList) {
        if (QObject* light = lightOfRow(row)) {
            const QueueItem& item = *engine->item(light);
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
        const QString file = item->released ? engine->itemFileName(light) : QString();
        emit viewJournalRequested(version, data, file, engine->saveDirectory().absolutePath(),
                                  item->id, item->type);
    } else {
        emit openConfig(light);
    }
}
