#include "queue/queuewindow.h"
#include "ui_queuewindow.h"

#include "journal/journalopener.h"
#include "queue/configprotocol.h"
#include "queue/downloadfile.h"
#include "queue/journalprotocol.h"
#include "queue/signalrelay.h"
#include "queue/storagefetch.h"

#include <QAction>
#include <QHeaderView>
#include <QPointer>
#include <QProgressBar>
#include <QSet>
#include <QTimer>
#include <QTimerEvent>

namespace {

constexpr int tickMs = 1000;
constexpr int retryDelayMs = 2000;

} // namespace

QueueWindow::QueueWindow(QWidget* parent, bool journal)
    : QWidget(parent), ui(new Ui::QueueWindow), saveDir(QString()), journal(journal)
{
    ui->setupUi(this);
    setWindowTitle(journal ? tr("Journals queue") : tr("Configurations queue"));
    timerId = startTimer(tickMs, Qt::CoarseTimer);

    struct
    {
        QString text;
        void (QueueWindow::*slot)();
    } const actions[] = {
        {journal ? tr("View") : tr("Run editor"), &QueueWindow::openConfigEditor},
        {tr("Clear queue"), qOverload<>(&QueueWindow::clearQueue)},
        {tr("Stop downloading"), &QueueWindow::stopDownloading},
        {tr("Resume"), &QueueWindow::resumeDownloading},
    };
    for (const auto& a : actions) {
        auto* action = new QAction(a.text, ui->queueTable);
        connect(action, &QAction::triggered, this, a.slot);
        ui->queueTable->addAction(action);
    }

    // Rows are appended in queue order until the operator sorts by a column
    // (the header starts without a sort column, so new rows stay at the end).
    ui->queueTable->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);

    // Sorting (by the operator, or the table's own sorted insertion) and row
    // removal move rows; items follow their rows here, not by searching.
    QAbstractItemModel* model = ui->queueTable->model();
    connect(model, &QAbstractItemModel::layoutChanged, this, &QueueWindow::rowsMoved);
    connect(model, &QAbstractItemModel::rowsMoved, this, &QueueWindow::rowsMoved);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &QueueWindow::rowsMoved);
}

QueueWindow::~QueueWindow()
{
    // Relays of awaited answers have no parent (see sendRequest): let them go.
    for (QueueItem& item : items)
        forgetResponse(item);
    delete ui;
}

// ---------------------------------------------------------------- table

void QueueWindow::setCellText(int row, int column, const QString& text)
{
    QTableWidgetItem* cell = ui->queueTable->item(row, column);
    if (!cell)
        return;
    cell->setText(text);
    // A text longer than any the column held ("1024 bytes" after "836 bytes")
    // would be cut short: fit the columns again, which is rare enough to be cheap.
    if (column >= 0 && column < ColumnCount && text.size() > longestText[column]) {
        longestText[column] = text.size();
        scheduleResize();
    }
}

QProgressBar* QueueWindow::progressBar(int row) const
{
    return qobject_cast<QProgressBar*>(ui->queueTable->cellWidget(row, StateColumn));
}

void QueueWindow::setProgress(int row, int maximum, int value)
{
    changeBar(progressBar(row), true, maximum, true, value);
}

void QueueWindow::changeBar(QProgressBar* bar, bool setRange, int maximum, bool setValue, int value)
{
    if (!bar)
        return;
    // A bar repaints itself at once on each change, and each repaint walks all
    // its sibling bars: a cost that grows with the queue. Changes are made
    // quietly instead; a bar in sight is painted with the next frame, and a
    // bar scrolled out of sight when it comes back.
    if (!bar->isVisible()) {
        if (setRange)
            bar->setRange(0, maximum);
        if (setValue)
            bar->setValue(value);
        return;
    }
    bar->setAttribute(Qt::WA_UpdatesDisabled, true);
    if (setRange)
        bar->setRange(0, maximum);
    if (setValue)
        bar->setValue(value);
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
    return items.contains(light) ? light : nullptr;
}

QList<int> QueueWindow::selectedRows() const
{
    QList<int> rows;
    QSet<int> seen;
    const QModelIndexList selected = ui->queueTable->selectionModel()->selectedIndexes();
    for (const QModelIndex& index : selected) {
        if (!seen.contains(index.row())) {
            seen.insert(index.row());
            rows.append(index.row());
        }
    }
    return rows;
}

QObjectList QueueWindow::selectedLights() const
{
    // Collected first: acting on one item may move or remove rows.
    QObjectList lights;
    const QList<int> rows = selectedRows();
    for (int row : rows)
        if (QObject* light = lightOfRow(row))
            lights.append(light);
    return lights;
}

void QueueWindow::rowsMoved()
{
    if (renumberSuspended) {
        renumberNeeded = true;
        return;
    }
    renumberRows();
    if (!reseating)
        scheduleReseat();
}

void QueueWindow::scheduleReseat()
{
    if (reseatPending)
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
    const int rows = table->rowCount();
    const int columns = table->columnCount();
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            if (QTableWidgetItem* cell = table->takeItem(row, column))
                table->setItem(row, column, cell);
        }
    }
    table->setSortingEnabled(sorting);
    reseating = false;
}

void QueueWindow::renumberRows()
{
    const int count = ui->queueTable->rowCount();
    for (int row = 0; row < count; ++row) {
        const QTableWidgetItem* cell = ui->queueTable->item(row, ObjectColumn);
        if (!cell)
            continue;
        auto it = items.find(cell->data(Qt::UserRole).value<QObject*>());
        if (it != items.end())
            it->row = row;
    }
}

void QueueWindow::scheduleResize()
{
    // Once per pass of the event loop, however many rows were added.
    if (resizePending)
        return;
    resizePending = true;
    QTimer::singleShot(0, this, [this] {
        resizePending = false;
        ui->queueTable->resizeColumnsToContents();
        ui->queueTable->resizeRowsToContents();
    });
}

QString QueueWindow::itemFileName(QObject* light) const
{
    return saveDir.absoluteFilePath(DownloadFile::fileName(journal, light->property("id").toInt()));
}

// ---------------------------------------------------------------- queue

void QueueWindow::enqueue(QObject* light, int blocks)
{
    if (!light)
        return;
    // The mark concerns the configuration queue only: a journal is never
    // held back by a configuration fetched from the storage.
    const bool rpc = !journal && light->property("rpc").toBool();
    bool ok = false;
    const int id = light->property("id").toInt(&ok);
    if (!ok)
        return;
    const QString type = light->property("type").toString();
    const QString lower = type.toLower();
    const bool tm = lower == QLatin1String("tm_helix");
    const bool vg = lower == QLatin1String("vegal2") || lower == QString::fromUtf8("зелта");
    const int barMaximum = journal ? (blocks == -1 ? 0 : qMax(blocks, 0)) : 100;

    auto it = items.find(light);
    if (it == items.end()) {
        QueueItem item;
        item.isTmHelix = tm;
        item.isVegal = vg;
        item.expected = journal ? blocks : 0;
        // Also for an item made by a storage download: when the storage fails,
        // the item goes on with the controller and must follow its link then.
        auto* relay = new SignalRelay(this);
        relay->onConnected = [this, light](bool up) { lightConnected(light, up); };
        connect(light, SIGNAL(connected(bool)), relay, SLOT(relayConnected(bool)));
        // The host may delete a queued light without clearing it first.
        connect(light, &QObject::destroyed, relay, [this, light] { lightDestroyed(light); });
        item.lightRelay = relay;
        it = items.insert(light, item);

        QTableWidget* table = ui->queueTable;
        renumberSuspended = true;
        table->insertRow(table->rowCount());
        auto* object = new QTableWidgetItem(QString::number(id));
        object->setData(Qt::UserRole, QVariant::fromValue(light));
        table->setItem(table->rowCount() - 1, ObjectColumn, object);
        // With sorting on, the row may move as each cell arrives.
        table->setItem(table->row(object), TypeColumn, new QTableWidgetItem(type));
        auto* bar = new QProgressBar;
        bar->setRange(0, barMaximum);
        bar->setValue(0);
        table->setCellWidget(table->row(object), StateColumn, bar);
        table->setItem(table->row(object), LoadedColumn, new QTableWidgetItem(QStringLiteral("0")));
        table->setItem(table->row(object), ErrorsColumn, new QTableWidgetItem(QStringLiteral("0")));
        table->setItem(table->row(object), StatusColumn, new QTableWidgetItem(tr("waiting")));
        renumberSuspended = false;
        if (renumberNeeded)
            rowsMoved();
        else
            it->row = table->row(object);
        renumberNeeded = false;
        scheduleResize();
    } else {
        // Queued again: start over; an answer to an earlier command no longer counts.
        forgetResponse(*it);
        it->dropData();
        it->stopped = false;
        it->done = false;
        it->retryDelay = 0;
        it->errors = 0;
        // The previous download's size must not cut the new one.
        it->expected = journal ? blocks : 0;
        setCellText(it->row, ErrorsColumn, QStringLiteral("0"));
        setProgress(it->row, barMaximum, 0);
    }

    // A continuation point belongs to one request only.
    it->stopMarker.clear();
    it->previousJournal.clear();
    bool tooLarge = false;
    if (journal && blocks == -3) {
        QByteArray previous;
        if (DownloadFile::read(itemFileName(light), &previous, &tooLarge)) {
            it->stopMarker = JournalProtocol::stopMarkerOf(previous, tm || vg);
            it->previousJournal = previous;
        }
    }
    // A journal file too large to go on from is left alone, and so is the light.
    if (tooLarge) {
        giveUp(light, tr("Error: data too large"));
        return;
    }

    if (rpc)
        return;
    if (light->property("isConnected").toBool())
        sendRequest(light);
    else
        setCellText(it->row, StatusColumn, tr("waiting for connection"));
}

void QueueWindow::loadConfigFromStorage(QObject* cnfStorage, QObject* light,
                                        const QString& datetime, int max_errors)
{
    // Nothing to ask, or nobody to ask for: ignored, as enqueue ignores a null light.
    if (!cnfStorage || !light)
        return;
    // While set, the controller itself is left alone: the storage drives the item.
    light->setProperty("rpc", true);
    enqueue(light, -1);
    if (!items.contains(light)) {
        light->setProperty("rpc", QVariant());
        return;
    }
    items[light].maxErrors = max_errors;

    // The storage object may run the event loop while it waits for its answer, and
    // the host may then clear the queue or delete the light or this window.
    const QPointer<QueueWindow> self(this);
    const QPointer<QObject> guardedLight(light);
    const StorageFetchResult fetched = fetchConfigFromStorage(cnfStorage, light, datetime);
    if (self && guardedLight && items.contains(light)) {
        if (!fetched.ok) {
            // The buffer stays empty, so a retry from the controller starts clean.
            // Only that retry goes to the controller: a final failure stays
            // final when the link comes back.
            if (isFinal(items[light], fetched.fatal))
                giveUp(light, fetched.message);
            else
                failItem(light, fetched.message, false);
        } else {
            QueueItem& item = items[light];
            item.buffer = fetched.data;
            item.loaded = item.expected = fetched.data.size();
            // completeItem told the host, which may have changed the queue meanwhile.
            if (completeItem(light) && self && guardedLight) {
                const auto it = items.constFind(light);
                if (it != items.constEnd())
                    setCellText(it->row, LoadedColumn, tr("%1 bytes").arg(fetched.data.size()));
            }
        }
    }
    if (guardedLight)
        guardedLight->setProperty("rpc", QVariant());
}

void QueueWindow::forgetResponse(QueueItem& item)
{
    item.response = nullptr;
    if (auto* relay = static_cast<SignalRelay*>(item.responseRelay)) {
        relay->onFinished = nullptr;
        relay->deleteLater();
        item.responseRelay = nullptr;
    }
}

void QueueWindow::releaseItem(QueueItem& item)
{
    forgetResponse(item);
    if (auto* relay = static_cast<SignalRelay*>(item.lightRelay)) {
        relay->onConnected = nullptr;
        relay->deleteLater();
        item.lightRelay = nullptr;
    }
}

void QueueWindow::lightDestroyed(QObject* light)
{
    // Only the pointer is used: the light is being destroyed.
    auto it = items.find(light);
    if (it == items.end())
        return;
    const int row = it->row;
    releaseItem(*it);
    items.erase(it);
    ui->queueTable->removeRow(row);
}

void QueueWindow::clearQueue()
{
    for (QueueItem& item : items)
        releaseItem(item);
    items.clear();
    ui->queueTable->setRowCount(0);
}

void QueueWindow::clearQueue(QObjectList obj_list)
{
    QMap<QString, QObject*> byId;
    for (QObject* object : qAsConst(obj_list))
        if (object)
            byId.insert(object->property("id").toString(), object);
    if (byId.isEmpty())
        return;

    renumberSuspended = true;
    for (int row = ui->queueTable->rowCount() - 1; row >= 0; --row) {
        const QTableWidgetItem* cell = ui->queueTable->item(row, ObjectColumn);
        if (!cell || !byId.contains(cell->text()))
            continue;
        // The row's own item goes with it, so no item is left without a row.
        auto it = items.find(cell->data(Qt::UserRole).value<QObject*>());
        if (it != items.end()) {
            releaseItem(*it);
            items.erase(it);
        }
        ui->queueTable->removeRow(row);
    }
    renumberSuspended = false;
    if (renumberNeeded)
        rowsMoved();
    renumberNeeded = false;
}

// ---------------------------------------------------------------- exchange

void QueueWindow::sendRequest(QObject* light)
{
    issueCommand(light, false);
}

void QueueWindow::sendNext(QObject* light)
{
    // The row says "downloading" since the command just answered: any change
    // of state in between would have made that answer one nobody waits for.
    issueCommand(light, true);
}

void QueueWindow::issueCommand(QObject* light, bool continuing)
{
    if (!items.contains(light) || (!journal && light->property("rpc").toBool()))
        return;
    QString command;
    QVariantList args;
    {
        const QueueItem& item = items[light];
        if (journal) {
            command = QStringLiteral("GET_JRNL");
            args << item.loaded;
        } else {
            command = QStringLiteral("GET_CONFIG");
            args << item.area << item.loaded;
        }
    }
    QObject* response = nullptr;
    const bool invoked = QMetaObject::invokeMethod(
        light, "sendCommand", QGenericReturnArgument("Response*", &response),
        Q_ARG(QVariant, QVariant(command)), Q_ARG(QVariant, QVariant(args)));
    // The host ran code of its own: look the item up again.
    auto it = items.find(light);
    if (it == items.end())
        return;
    if (!invoked || !response) {
        failItem(light, tr("invoke sendCommand error"), false);
        return;
    }
    if (!continuing)
        setCellText(it->row, StatusColumn, tr("downloading"));
    if (it->loaded == 0 && (!journal || it->expected < 0))
        setProgress(it->row, 0, 0);
    forgetResponse(*it);
    it->retryDelay = 0; // an answer is awaited now; a pending retry would only repeat it
    it->response = response;
    // One relay per command, owned by the item and deleted when the answer is
    // forgotten. It has no parent: taking thousands of short-lived children
    // off the window's child list would cost more with every queued light.
    auto* relay = new SignalRelay;
    relay->onFinished = [this, light, response] { answerArrived(light, response); };
    connectFinished(response, relay);
    it->responseRelay = relay;
}

void QueueWindow::connectFinished(QObject* response, QObject* relay)
{
    // The signal is looked up once per class of response, not per command.
    const QMetaObject* meta = response->metaObject();
    if (meta != finishedMeta) {
        finishedMeta = meta;
        const int index = meta->indexOfSignal("finished()");
        finishedSignal = index < 0 ? QMetaMethod() : meta->method(index);
    }
    static const QMetaMethod slot = SignalRelay::staticMetaObject.method(
        SignalRelay::staticMetaObject.indexOfSlot("relayFinished()"));
    if (finishedSignal.isValid())
        connect(response, finishedSignal, relay, slot);
    else
        connect(response, SIGNAL(finished()), relay, SLOT(relayFinished())); // warns as Qt does
}

void QueueWindow::responseFinished()
{
    // Kept for callers that connect a response to this slot by name.
    QObject* response = sender();
    if (!response)
        return;
    for (auto it = items.cbegin(); it != items.cend(); ++it) {
        if (it->response == response) {
            answerArrived(it.key(), response);
            return;
        }
    }
}

void QueueWindow::answerArrived(QObject* light, QObject* response)
{
    auto it = items.find(light);
    if (it == items.end() || !response || it->response != response)
        return;
    it->retryDelay = 0;
    const int error = response->property("error").toInt();
    if (error != 0) {
        QString text;
        QMetaObject::invokeMethod(response, "errorString", Q_RETURN_ARG(QString, text));
        if (text.isEmpty())
            text = tr("Response error %1").arg(error);
        failItem(light, text, false);
        return;
    }
    const QVariantList data = response->property("data").toList();
    const BlockOutcome outcome =
        journal ? JournalProtocol::handleBlock(*it, data) : ConfigProtocol::handlePiece(*it, data);
    applyOutcome(light, outcome);
}

void QueueWindow::applyOutcome(QObject* light, const BlockOutcome& outcome)
{
    auto it = items.find(light);
    if (it == items.end())
        return;
    // Each text may re-sort the table; it->row follows.
    if (outcome.typeText == BlockOutcome::Adapter)
        setCellText(it->row, TypeColumn, tr("Adapter"));
    else if (outcome.typeText == BlockOutcome::HeaderType)
        setCellText(it->row, TypeColumn, outcome.headerType);
    if (outcome.loadedText == BlockOutcome::Blocks)
        setCellText(it->row, LoadedColumn, tr("%1 blocks").arg(outcome.loadedValue));
    else if (outcome.loadedText == BlockOutcome::Bytes)
        setCellText(it->row, LoadedColumn, tr("%1 bytes").arg(outcome.loadedValue));
    if (outcome.setRange || outcome.setValue)
        changeBar(progressBar(it->row), outcome.setRange, outcome.rangeMax, outcome.setValue,
                  outcome.value);

    switch (outcome.action) {
    case BlockOutcome::RequestNext:
        sendNext(light);
        break;
    case BlockOutcome::Complete:
        completeItem(light);
        break;
    case BlockOutcome::Fail:
        switch (outcome.failure) {
        case BlockOutcome::WrongArea:
            failItem(light, tr("Error: wrong area"), true);
            break;
        case BlockOutcome::EmptyAnswer:
            failItem(light, tr("Error: empty answer"), true);
            break;
        case BlockOutcome::InvalidConfigSize:
            failItem(light, tr("Error: invalid config size"), true);
            break;
        case BlockOutcome::DataTooLarge:
            giveUp(light, tr("Error: data too large"));
            break;
        default:
            failItem(light, tr("Error: wrong answer"), !outcome.retryable);
            break;
        }
        break;
    }
}

// ---------------------------------------------------------------- outcomes

void QueueWindow::failItem(QObject* light, const QString& msg, bool fatal)
{
    auto it = items.find(light);
    if (it == items.end())
        return;
    forgetResponse(*it);
    setCellText(it->row, StatusColumn, msg);
    const bool final = isFinal(*it, fatal);
    ++it->errors;
    setCellText(it->row, ErrorsColumn, QString::number(it->errors));
    if (final) {
        it->retryDelay = 0; // given up: nothing may be sent for it any more
        setProgress(it->row, 100, 0);
        emit downloadFailed(light, msg);
    } else {
        it->retryDelay = retryDelayMs;
    }
}

bool QueueWindow::isFinal(const QueueItem& item, bool fatal)
{
    return fatal || (item.maxErrors > 0 && item.errors + 1 >= item.maxErrors);
}

void QueueWindow::giveUp(QObject* light, const QString& msg)
{
    // For good: a returning link would only fetch the same flood again. As
    // after Stop, only the operator's Resume or a new request starts it over.
    // Marked first: the host, told of the failure, may queue the light again
    // or close this window.
    const auto it = items.find(light);
    if (it != items.end())
        it->stopped = true;
    failItem(light, msg, true);
}

bool QueueWindow::completeItem(QObject* light)
{
    auto it = items.find(light);
    if (it == items.end())
        return false;
    // New records and the previous journal together past the ceiling: nothing
    // is saved, and the journal file stays as it is.
    const bool continuation = journal && it->expected == -3;
    if (continuation &&
        qint64(it->buffer.size()) + it->previousJournal.size() > DownloadFile::maxSize) {
        it->dropData();
        giveUp(light, tr("Error: data too large"));
        return false;
    }
    QString path = itemFileName(light);
    if (!journal && it->isMarked())
        path = DownloadFile::jsonPath(path);
    // Continuation: the new records, then the journal as it was when queued, once.
    const QByteArray data = continuation ? it->buffer + it->previousJournal : it->buffer;
    const DownloadFile::SaveResult saved = DownloadFile::save(path, data);
    if (saved != DownloadFile::Saved) {
        // The file stays as it was, and the host must hear of it. Nothing of
        // this download counts any more: a Resume starts it over, from the
        // same continuation point.
        if (continuation)
            it->stopMarker = JournalProtocol::stopMarkerOf(it->previousJournal, it->isMarked());
        it->dropData();
        giveUp(light,
               (saved == DownloadFile::OpenFailed ? tr("Error open %1") : tr("Error write %1"))
                   .arg(path));
        return false;
    }
    it->done = true;
    forgetResponse(*it);
    setProgress(it->row, 100, 100);
    setCellText(it->row, StatusColumn, tr("completed"));
    if (continuation) {
        it->buffer = data;
        it->previousJournal.clear();
        it->loaded = it->buffer.size();
    }
    it->expected = it->loaded;
    if (!journal)
        light->setProperty("dqueue_config", path);
    emit downloadComplete(light, path);
    return true;
}

// ---------------------------------------------------------------- scheduling

void QueueWindow::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != timerId)
        return;
    QObjectList due;
    for (auto it = items.begin(); it != items.end(); ++it) {
        if (it->retryDelay > 0) {
            it->retryDelay -= tickMs;
            if (it->retryDelay <= 0) {
                it->retryDelay = 0;
                due.append(it.key());
            }
        }
    }
    for (QObject* light : qAsConst(due))
        sendRequest(light);
}

void QueueWindow::light_connected(bool connected)
{
    lightConnected(sender(), connected);
}

void QueueWindow::lightConnected(QObject* light, bool connected)
{
    auto it = items.find(light);
    if (it == items.end())
        return;
    if (connected) {
        if (!it->stopped && !it->done)
            sendRequest(light);
        return;
    }
    setCellText(it->row, StatusColumn, tr("disconnected"));
    forgetResponse(*it);
}

void QueueWindow::saveStoppedJournal(QObject* light, const QueueItem& item)
{
    // Nothing received: the file keeps what it holds. Otherwise what came so
    // far, then (continuation) the journal as it was when queued.
    if (item.buffer.isEmpty() ||
        qint64(item.buffer.size()) + item.previousJournal.size() > DownloadFile::maxSize)
        return;
    DownloadFile::save(itemFileName(light), item.buffer + item.previousJournal);
}

void QueueWindow::stopDownloading()
{
    const QObjectList lights = selectedLights();
    for (QObject* light : lights) {
        auto it = items.find(light);
        if (it == items.end())
            continue;
        forgetResponse(*it);
        it->retryDelay = 0;
        it->stopped = true;
        setCellText(it->row, StatusColumn, tr("interrupted"));
        setProgress(it->row, 100, 0);
        if (journal)
            saveStoppedJournal(light, *it);
    }
}

void QueueWindow::resumeDownloading()
{
    const QObjectList lights = selectedLights();
    for (QObject* light : lights) {
        auto it = items.find(light);
        if (it == items.end() || !it->stopped || it->done)
            continue;
        it->retryDelay = 0;
        // Cleared, so that a link that drops and returns carries the download on.
        it->stopped = false;
        setCellText(it->row, StatusColumn, tr("resumed"));
        if (it->expected <= 0)
            setProgress(it->row, 0, 0);
        else
            setProgress(it->row, it->expected, journal ? it->loaded : it->buffer.size());
        sendRequest(light);
    }
}

// ---------------------------------------------------------------- actions

void QueueWindow::on_queueTable_cellDoubleClicked(int row, int)
{
    QObject* light = lightOfRow(row);
    if (!light)
        return;
    const QueueItem& item = items[light];
    if (journal) {
        if (item.buffer.isEmpty())
            return;
        const int version = JournalOpener::versionForLight(item.isTmHelix, item.isVegal,
                                                           light->property("type").toString());
        JournalOpener::showJournal(this, version, item.buffer, saveDir);
    } else if (item.loaded != 0 && item.loaded == item.expected) {
        emit openConfig(light);
    }
}

void QueueWindow::openConfigEditor()
{
    const QList<int> rows = selectedRows();
    for (int row : rows)
        on_queueTable_cellDoubleClicked(row, 0);
}
