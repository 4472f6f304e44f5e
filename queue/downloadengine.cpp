#include "queue/downloadengine.h"

#include "core/controllerfamily.h"
#include "core/downloadfile.h"
#include "queue/configprotocol.h"
#include "queue/journalprotocol.h"
#include "queue/signalrelay.h"
#include "queue/storagefetch.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QSet>
#include <QTimerEvent>

// Every text here is one the queue window shows, and the host may receive:
// they belong to the window's translation context.

namespace {

QString tooLargeText()
{
    return QCoreApplication::translate("QueueWindow", "Error: data too large");
}

// Why a file could not be read or written, as the queue shows it, and its kind.
struct FileFailure
{
    QString text;
    QueueItem::Failure kind;
};

FileFailure fileFailure(DownloadFile::ReadResult read, const QString& path)
{
    if (read == DownloadFile::TooLarge)
        return {tooLargeText(), QueueItem::Failure::SavedTooLarge};
    return {QCoreApplication::translate("QueueWindow", "Error open %1").arg(path),
            QueueItem::Failure::CannotRead};
}

FileFailure fileFailure(DownloadFile::SaveResult saved, const QString& path)
{
    return {(saved == DownloadFile::OpenFailed
                 ? QCoreApplication::translate("QueueWindow", "Error open %1")
                 : QCoreApplication::translate("QueueWindow", "Error write %1"))
                .arg(path),
            QueueItem::Failure::CannotWrite};
}

} // namespace

DownloadEngine::DownloadEngine(bool journal, QObject* parent)
    : QObject(parent), saveDir(QString()), journal(journal),
      budget(items, journal ? MemoryBudget::journalLimit : MemoryBudget::configLimit, [this] {
          if (!wakeTimer.isActive())
              wakeTimer.start();
      })
{
    timerId = startTimer(tickMs, Qt::CoarseTimer);
    wakeTimer.setSingleShot(true);
    wakeTimer.setInterval(0);
    connect(&wakeTimer, &QTimer::timeout, this,
            [this] { budget.wakeWaiters([this](QObject* light) { sendRequest(light); }); });
}

void DownloadEngine::setTickInterval(int ms)
{
    if (timerId)
        killTimer(timerId);
    timerId = ms > 0 ? startTimer(ms, Qt::CoarseTimer) : 0;
}

QString DownloadEngine::itemFileName(QObject* light) const
{
    if (const QueueItem* it = item(light))
        return it->filePath;
    return saveDir.absoluteFilePath(DownloadFile::fileName(journal, light->property("id").toInt()));
}

bool DownloadEngine::savedFileChanged(QObject* light) const
{
    const QueueItem* it = item(light);
    if (!it || it->shown.savedPath.isEmpty())
        return false;
    const QFileInfo file(it->shown.savedPath);
    return !file.isFile() || file.size() != it->shown.savedSize ||
           file.lastModified() != it->shown.savedModified;
}

void DownloadEngine::setStatus(QObject* light, QueueItem& item, Status status,
                               const QString& message)
{
    // The wait for a link is told from when it began.
    const bool waits = status == Status::WaitingForConnection || status == Status::Disconnected;
    if (waits && item.shown.status != status)
        item.shown.waitingSince = QDateTime::currentDateTime();
    item.shown.status = status;
    // The link's loss shows over a failure given up on; its reason stays.
    if (status != Status::Disconnected || !item.finalFailure) {
        item.shown.message = message;
        if (status != Status::Failed)
            item.finalFailure = false;
    }
    if (status == Status::Failed || status == Status::Completed)
        item.shown.ended = QDateTime::currentDateTime();
    afterItemChange(light, item);
}

void DownloadEngine::recount(QueueItem& item)
{
    const int phase = int(item.phase());
    if (phase == item.counted)
        return;
    if (item.counted >= 0)
        --phaseCounts[item.counted];
    ++phaseCounts[phase];
    item.counted = phase;
}

void DownloadEngine::afterItemChange(QObject* light, QueueItem& item)
{
    budget.itemChanged(item);
    recount(item);
    emit itemChanged(light);
}

void DownloadEngine::setBar(QueueItem& item, int maximum, int value)
{
    item.shown.barMaximum = maximum;
    item.shown.barValue = value;
}

// ---------------------------------------------------------------- queue

void DownloadEngine::enqueue(QObject* light, int blocks)
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
    const bool tm = ControllerFamily::isTmHelixType(type);
    const bool vg = ControllerFamily::isVegalType(type);
    const int barMaximum = journal ? (blocks == QueueItem::allBlocks ? 0 : qMax(blocks, 0)) : 100;

    auto it = items.find(light);
    // Saved where the directories were when the host asked.
    const QString filePath = saveDir.absoluteFilePath(DownloadFile::fileName(journal, id));
    if (it == items.end()) {
        QueueItem item;
        item.shown.id = id;
        item.filePath = filePath;
        item.shown.type = type;
        item.isTmHelix = tm;
        item.isVegal = vg;
        item.expected = journal ? blocks : 0;
        item.shown.barMaximum = barMaximum;
        // Also for an item made by a storage download: when the storage fails,
        // the item goes on with the controller and must follow its link then.
        auto* relay = new SignalRelay(this);
        relay->onConnected = [this, light](bool up) { lightConnected(light, up); };
        // Only the awaited response is connected to it (see forgetResponse).
        relay->onFinished = [this, light] {
            if (const QueueItem* it = this->item(light))
                answerArrived(light, it->response);
        };
        relay->onLost = [this, light] { responseLost(light); };
        call.connectLink(light, relay);
        // The host may delete a queued light without clearing it first.
        connect(light, &QObject::destroyed, relay, [this, light] { lightDestroyed(light); });
        item.relay = relay;
        it = items.insert(light, item);
        recount(*it);
        emit itemAdded(light);
    } else {
        // Queued again: start over; an answer to an earlier command no longer counts.
        forgetResponse(*it);
        it->dropData();
        it->filePath = filePath;
        it->stopped = false;
        it->done = false;
        it->retryDelay = 0;
        it->errors = 0;
        // Nothing of the last round shows (what it loaded, how and when it
        // ended, its retries) but the light and what its data turned out to be.
        QueueItem::Shown fresh;
        fresh.id = it->shown.id;
        fresh.type = it->shown.type;
        fresh.typeText = it->shown.typeText;
        fresh.headerType = it->shown.headerType;
        it->shown = fresh;
        it->finalFailure = false;
        // The previous download's size must not cut the new one.
        it->expected = journal ? blocks : 0;
        setBar(*it, barMaximum, 0);
        afterItemChange(light, *it);
    }

    // A continuation point belongs to one request only.
    it->stopMarker.clear();
    it->rereadPrevious = false;
    // A journal file that cannot be gone on from is left alone, and so is the light.
    if (journal && blocks == QueueItem::onlyNewBlocks && !readPrevious(light, *it))
        return;

    if (rpc)
        return;
    if (light->property("isConnected").toBool()) {
        sendRequest(light);
    } else {
        // Busy, as a journal of unknown length shows it: how long the wait
        // lasts is not known.
        if (!journal)
            setBar(*it, 0, 0);
        setStatus(light, *it, Status::WaitingForConnection);
    }
}

void DownloadEngine::loadConfigFromStorage(QObject* cnfStorage, QObject* light,
                                           const QString& datetime, int max_errors)
{
    // Nothing to ask, or nobody to ask for: ignored, as enqueue ignores a null light.
    if (!cnfStorage || !light)
        return;
    // While set, the controller itself is left alone: the storage drives the item.
    light->setProperty("rpc", true);
    enqueue(light, QueueItem::allBlocks);
    if (!items.contains(light)) {
        light->setProperty("rpc", QVariant());
        return;
    }
    items[light].maxErrors = max_errors;

    // The storage object may run the event loop while it waits for its answer, and
    // the host may then clear the queue or delete the light or this engine.
    const QPointer<DownloadEngine> self(this);
    const QPointer<QObject> guardedLight(light);
    const StorageFetchResult fetched = fetchConfigFromStorage(cnfStorage, light, datetime);
    if (self && guardedLight && items.contains(light)) {
        if (!fetched.ok) {
            // The buffer stays empty, so a retry from the controller starts clean.
            // Only that retry goes to the controller: a final failure stays
            // final when the link comes back.
            if (isFinal(items[light], fetched.fatal))
                giveUp(light, fetched.message, Failure::Storage);
            else
                failItem(light, fetched.message, false, Failure::Storage);
        } else {
            QueueItem& item = items[light];
            item.buffer = fetched.data;
            item.loaded = item.expected = fetched.data.size();
            // completeItem told the host, which may have changed the queue meanwhile.
            if (completeItem(light) && self && guardedLight) {
                const auto it = items.find(light);
                if (it != items.end()) {
                    it->shown.loadedText = AnswerOutcome::Bytes;
                    it->shown.loadedValue = fetched.data.size();
                    afterItemChange(light, *it);
                }
            }
        }
    }
    if (guardedLight)
        guardedLight->setProperty("rpc", QVariant());
}

void DownloadEngine::forgetResponse(QueueItem& item)
{
    // A response let go of can never reach the item again, however often it
    // signals, whatever the item awaits next.
    if (item.response && item.relay)
        disconnect(item.response, nullptr, item.relay, nullptr);
    item.response = nullptr;
}

void DownloadEngine::releaseItem(QueueItem& item)
{
    if (item.counted >= 0)
        --phaseCounts[item.counted];
    item.counted = -1;
    forgetResponse(item);
    budget.itemRemoved(item);
    if (SignalRelay* relay = item.relay) {
        // Its signal may be running: deleted once that has returned.
        relay->onConnected = nullptr;
        relay->onFinished = nullptr;
        relay->onLost = nullptr;
        relay->deleteLater();
        item.relay = nullptr;
    }
}

void DownloadEngine::lightDestroyed(QObject* light)
{
    // Only the pointer is used: the light is being destroyed.
    auto it = items.find(light);
    if (it == items.end())
        return;
    emit itemRemoved(light);
    it = items.find(light);
    if (it == items.end())
        return;
    releaseItem(*it);
    items.erase(it);
}

int DownloadEngine::unsavedCount() const
{
    int count = 0;
    for (const QueueItem& it : items)
        count += it.holdsUnsaved() && !QueueItem::isRunning(it.phase()) ? 1 : 0;
    return count;
}

void DownloadEngine::clear()
{
    for (auto it = items.begin(); it != items.end(); ++it) {
        releaseItem(*it);
        emit itemRemoved(it.key());
    }
    items.clear();
}

void DownloadEngine::remove(const QObjectList& objects)
{
    QSet<QString> ids;
    for (QObject* object : objects)
        if (object)
            ids.insert(object->property("id").toString());
    if (ids.isEmpty())
        return;
    QObjectList gone;
    for (auto it = items.cbegin(); it != items.cend(); ++it)
        if (ids.contains(QString::number(it->shown.id)))
            gone.append(it.key());
    for (QObject* light : qAsConst(gone)) {
        releaseItem(items[light]);
        emit itemRemoved(light);
        items.remove(light);
    }
}

// ---------------------------------------------------------------- exchange

void DownloadEngine::sendRequest(QObject* light)
{
    const auto it = items.find(light);
    if (it != items.end() && it->rereadPrevious && !readPrevious(light, *it))
        return;
    issueCommand(light, false);
}

bool DownloadEngine::readPrevious(QObject* light, QueueItem& item)
{
    item.stopMarker.clear();
    item.markerMet = false;
    item.rereadPrevious = false;
    const QString path = itemFileName(light);
    QByteArray previous;
    const DownloadFile::ReadResult read = DownloadFile::readFile(path, &previous);
    if (read == DownloadFile::Read)
        item.stopMarker = JournalProtocol::stopMarkerOf(previous, item.isMarked());
    if (read == DownloadFile::Read || read == DownloadFile::Missing)
        return true;
    // Every later attempt reads it again, and fails the same way until it can.
    item.rereadPrevious = true;
    const FileFailure failed = fileFailure(read, path);
    giveUp(light, failed.text, failed.kind, path);
    return false;
}

void DownloadEngine::issueCommand(QObject* light, bool continuing)
{
    const auto found = items.constFind(light);
    if (found == items.constEnd() || (!journal && light->property("rpc").toBool()))
        return;
    QVariantList args;
    if (!journal)
        args << found->area;
    args << found->loaded;
    // One living in another thread fails as a light whose command cannot be invoked.
    QObject* response = call.sendCommand(
        light, journal ? QStringLiteral("GET_JRNL") : QStringLiteral("GET_CONFIG"), args);
    // The host ran code of its own: look the item up again.
    auto it = items.find(light);
    if (it == items.end())
        return;
    if (!response) {
        failItem(light, QCoreApplication::translate("QueueWindow", "invoke sendCommand error"),
                 false, Failure::NoCommand);
        return;
    }
    // The item says "downloading" since the command just answered: any change
    // of state in between would have made that answer one nobody waits for.
    if (!continuing) {
        it->shown.status = Status::Downloading;
        it->finalFailure = false;
    }
    if (it->loaded == 0 && (!journal || it->expected < 0))
        setBar(*it, 0, 0);
    forgetResponse(*it);
    it->retryDelay = 0; // an answer is awaited now; a pending retry would only repeat it
    it->response = response;
    call.connectFinished(response, it->relay);
    // Right after an answer, that answer has told of the change already.
    if (!continuing)
        afterItemChange(light, *it);
}

void DownloadEngine::responseLost(QObject* light)
{
    // Only the awaited response is connected (see forgetResponse).
    if (items.contains(light))
        failItem(light, QCoreApplication::translate("QueueWindow", "Error: response deleted"),
                 false, Failure::ResponseLost);
}

void DownloadEngine::answerArrived(QObject* light, QObject* response)
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
            text = QCoreApplication::translate("QueueWindow", "Response error %1").arg(error);
        // The host's text is kept as it is, up to a bound: it is shown and passed on.
        if (text.size() > maxErrorText)
            text = text.left(maxErrorText - 1) + QChar(0x2026);
        failItem(light, text, false, Failure::ControllerError);
        return;
    }
    const QVariantList data = response->property("data").toList();
    if (!budget.makeRoomForAnswer(light, *it, data)) {
        // Waits with what it has; the answer is asked for again once there is room.
        forgetResponse(*it);
        setStatus(light, *it, Status::Waiting);
        return;
    }
    const AnswerOutcome outcome =
        journal ? JournalProtocol::handleBlock(*it, data) : ConfigProtocol::handlePiece(*it, data);
    applyOutcome(light, *it, outcome);
}

void DownloadEngine::applyOutcome(QObject* light, QueueItem& item, const AnswerOutcome& outcome)
{
    if (outcome.typeText != AnswerOutcome::NoTypeText) {
        item.shown.typeText = outcome.typeText;
        item.shown.headerType = outcome.headerType;
    }
    if (outcome.loadedText != AnswerOutcome::NoLoadedText) {
        item.shown.loadedText = outcome.loadedText;
        item.shown.loadedValue = outcome.loadedValue;
    }
    item.shown.barMaximum = outcome.barMaximum.value_or(item.shown.barMaximum);
    item.shown.barValue = outcome.barValue.value_or(item.shown.barValue);
    afterItemChange(light, item);

    switch (outcome.action) {
    case AnswerOutcome::RequestNext:
        issueCommand(light, true);
        break;
    case AnswerOutcome::Complete:
        completeItem(light);
        break;
    case AnswerOutcome::Fail:
        switch (outcome.failure) {
        case AnswerOutcome::WrongArea:
            failItem(light, QCoreApplication::translate("QueueWindow", "Error: wrong area"), true,
                     Failure::WrongArea);
            break;
        case AnswerOutcome::EmptyAnswer:
            failItem(light, QCoreApplication::translate("QueueWindow", "Error: empty answer"), true,
                     Failure::EmptyAnswer);
            break;
        case AnswerOutcome::InvalidConfigSize:
            failItem(light,
                     QCoreApplication::translate("QueueWindow", "Error: invalid config size"), true,
                     Failure::InvalidConfigSize);
            break;
        case AnswerOutcome::DataTooLarge:
            giveUp(light, tooLargeText(), Failure::TooLarge);
            break;
        default:
            failItem(light, QCoreApplication::translate("QueueWindow", "Error: wrong answer"),
                     !outcome.retryable, Failure::WrongAnswer);
            break;
        }
        break;
    }
}

// ---------------------------------------------------------------- outcomes

bool DownloadEngine::isFinal(const QueueItem& item, bool fatal)
{
    return fatal || (item.maxErrors > 0 && item.errors + 1 >= item.maxErrors);
}

void DownloadEngine::failItem(QObject* light, const QString& msg, bool fatal, Failure kind,
                              const QString& path)
{
    auto it = items.find(light);
    if (it == items.end())
        return;
    forgetResponse(*it);
    it->shown.failure = kind;
    it->shown.failurePath = path;
    const bool final = isFinal(*it, fatal);
    ++it->errors;
    if (final) {
        it->retryDelay = 0; // given up: nothing may be sent for it any more
        setBar(*it, 100, 0);
    } else {
        it->retryDelay = retryDelayMs;
    }
    it->finalFailure = final;
    setStatus(light, *it, Status::Failed, msg);
    if (final)
        emit downloadFailed(light, msg);
}

void DownloadEngine::giveUp(QObject* light, const QString& msg, Failure kind, const QString& path)
{
    // For good: a returning link would only fetch the same flood again. As
    // after Stop, only the operator's Resume or a new request starts it over.
    // Marked first: the host, told of the failure, may queue the light again
    // or close the queue.
    const auto it = items.find(light);
    if (it != items.end())
        it->stopped = true;
    failItem(light, msg, true, kind, path);
}

bool DownloadEngine::completeItem(QObject* light)
{
    auto it = items.find(light);
    if (it == items.end())
        return false;
    const bool continuation = journal && it->expected == QueueItem::onlyNewBlocks;
    QString path = it->filePath;
    if (!journal && it->isMarked())
        path = DownloadFile::jsonPath(path);
    // The file stays as it was, and the host hears of it. What came stays in
    // the item (View shows it), and Retry or Resume saves it again without
    // asking the controller, which may have overwritten it meanwhile.
    const auto fail = [&](const FileFailure& failed) {
        it->savePending = true;
        giveUp(light, failed.text, failed.kind, path);
        return false;
    };
    QByteArray data = it->buffer;
    if (continuation) {
        // The new records, then the journal they continue as it is now. One
        // that cannot be read fails the save: nothing is saved without it.
        QByteArray previous;
        const DownloadFile::ReadResult read = DownloadFile::readFile(path, &previous);
        if (read != DownloadFile::Read && read != DownloadFile::Missing)
            return fail(fileFailure(read, path));
        data = JournalProtocol::continued(data, previous, it->markerMet, it->isMarked());
        it->shown.markerMissed = !it->markerMet && !previous.isEmpty();
        if (data.size() > DownloadFile::maxSize)
            return fail({tooLargeText(), Failure::MergedTooLarge});
    }
    const DownloadFile::SaveResult saved = DownloadFile::save(path, data);
    if (saved != DownloadFile::Saved)
        return fail(fileFailure(saved, path));
    it->done = true;
    it->savePending = false;
    forgetResponse(*it);
    setBar(*it, 100, 100);
    if (continuation) {
        it->buffer = data;
        it->loaded = it->buffer.size();
    }
    it->expected = it->loaded;
    it->shown.savedPath = path;
    const QFileInfo file(path);
    it->shown.savedSize = file.size();
    it->shown.savedModified = file.lastModified();
    budget.completed(light, *it);
    if (journal)
        logDoubts(*it);
    setStatus(light, *it, Status::Completed);
    // Beyond the budget, the oldest completed items' data is in their files only.
    budget.giveBackCompleted(0);
    if (!journal)
        light->setProperty("dqueue_config", path);
    emit downloadComplete(light, path);
    return true;
}

void DownloadEngine::logDoubts(const QueueItem& item)
{
    // The host's log keeps what the row's tooltip tells, for the report on
    // the journal; in English, as the module's other diagnostics.
    const int kept = item.repeats().kept;
    if (kept > 0)
        qWarning("Journal of controller %d saved to %s: %d record(s) at block boundaries repeat "
                 "the records before them and were kept; the controller may have written them "
                 "twice, or moved them while it was read",
                 item.shown.id, qUtf8Printable(QDir::toNativeSeparators(item.filePath)), kept);
    if (item.shown.markerMissed)
        qWarning("Journal of controller %d saved to %s: the controller no longer held the saved "
                 "journal's newest record; the new records were put in front of the saved "
                 "journal, and records between them may be missing",
                 item.shown.id, qUtf8Printable(QDir::toNativeSeparators(item.filePath)));
}

// ---------------------------------------------------------------- scheduling

void DownloadEngine::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == timerId)
        tick();
}

void DownloadEngine::tick()
{
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
    for (QObject* light : qAsConst(due)) {
        sendRequest(light);
        // No longer retrying, even where nothing could be sent (the storage
        // still drives the item).
        const auto it = items.find(light);
        if (it != items.end() && it->counted != int(it->phase()))
            afterItemChange(light, *it);
    }
}

void DownloadEngine::lightConnected(QObject* light, bool connected)
{
    auto it = items.find(light);
    if (it == items.end())
        return;
    if (connected) {
        if (!it->stopped && !it->done)
            sendRequest(light);
        return;
    }
    forgetResponse(*it);
    setStatus(light, *it, Status::Disconnected);
}

void DownloadEngine::saveStoppedJournal(QObject* light, QueueItem& item)
{
    // A saved journal is never replaced by part of a download: the records
    // past the part would be lost, and an only-new download's part in front
    // of the journal would hide the records between them from the next one.
    // The part stays in the item for View and Resume; it is saved only where
    // there is no journal yet (an only-new download's never: its completion
    // puts the file behind it).
    if (item.buffer.isEmpty() || item.expected == QueueItem::onlyNewBlocks)
        return;
    const QString path = itemFileName(light);
    const QFileInfo file(path);
    if (file.exists() || file.isSymLink())
        return;
    const DownloadFile::SaveResult saved = DownloadFile::save(path, item.buffer);
    if (saved != DownloadFile::Saved) {
        const FileFailure failed = fileFailure(saved, path);
        failItem(light, failed.text, true, failed.kind, path);
    }
}

void DownloadEngine::stop(const QObjectList& lights)
{
    for (QObject* light : lights) {
        auto it = items.find(light);
        if (it == items.end())
            continue;
        forgetResponse(*it);
        it->retryDelay = 0;
        it->stopped = true;
        setBar(*it, 100, 0);
        setStatus(light, *it, Status::Interrupted);
        if (journal)
            saveStoppedJournal(light, *it);
    }
}

void DownloadEngine::resume(const QObjectList& lights)
{
    for (QObject* light : lights) {
        auto it = items.find(light);
        if (it != items.end() && it->canResume())
            resumeItem(light, *it);
    }
}

void DownloadEngine::retry(const QObjectList& lights)
{
    for (QObject* light : lights) {
        auto it = items.find(light);
        if (it == items.end() || !it->canRetry())
            continue;
        it->errors = 0;
        ++it->shown.retries;
        it->shown.retried = QDateTime::currentDateTime();
        resumeItem(light, *it);
    }
}

void DownloadEngine::resumeItem(QObject* light, QueueItem& item)
{
    item.retryDelay = 0;
    // Cleared, so that a link that drops and returns carries the download on.
    item.stopped = false;
    if (item.expected <= 0)
        setBar(item, 0, 0);
    else
        setBar(item, item.expected, journal ? item.loaded : item.buffer.size());
    setStatus(light, item, Status::Resumed);
    if (item.savePending)
        completeItem(light);
    else
        sendRequest(light);
}
