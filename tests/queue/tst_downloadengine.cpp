// The download engine alone: no widget, no application with a GUI.
#include "core/downloadfile.h"
#include "queue/downloadengine.h"
#include "queuesim.h"
#include "tests/specialfiles.h"

#include <QtTest>

#include <memory>

using Status = QueueItem::Status;
using Failure = QueueItem::Failure;
Q_DECLARE_METATYPE(Status)
Q_DECLARE_METATYPE(Failure)

class TestDownloadEngine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void whatAViewIsTold_data();
    void whatAViewIsTold();
    void retryAtTheSecondTick();
    void deletedLight();
    void retryGoesOnWhereItFailed();
    void retryingCountedApart();
    void continuationNeedsItsJournal_data();
    void continuationNeedsItsJournal();
    void stopKeepsSavedJournal_data();
    void stopKeepsSavedJournal();
    void stopSaveFailureIsReported();
    void deletedResponseIsRetried();
    void lightOfAnotherThread();
    void memoryBudget();
    void failures_data();
    void failures();
    void maxErrorsThirdIsFinal();
    void lateAnswersIgnored_data();
    void lateAnswersIgnored();
    void linkStates_data();
    void linkStates();
    void storageItemFollowsLink();
    void stopConfigurationWritesNothing();
    void continuationNeverRepeats_data();
    void continuationNeverRepeats();
    void continuationOfJournalInAnotherCase();
    void saveErrors();
    void itemKeepsItsDirectory();
    void savedFileChangeNoticed();

private:
    std::unique_ptr<QTemporaryDir> dir;
};

void TestDownloadEngine::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void TestDownloadEngine::whatAViewIsTold_data()
{
    QTest::addColumn<bool>("journal");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<Status>("queued");
    QTest::newRow("journal") << true << true << Status::Downloading;
    QTest::newRow("configuration, link down") << false << false << Status::WaitingForConnection;
}

void TestDownloadEngine::whatAViewIsTold()
{
    QFETCH(bool, journal);
    QFETCH(bool, connected);
    QFETCH(Status, queued);
    DownloadEngine engine(journal);
    engine.setSaveDir(QDir(dir->path()));
    QueueSim sim(7);
    sim.journal = journalRecords(30, 0);
    sim.body = QByteArray::fromHex("0600f401ffff") + QByteArray(600, 'c');
    sim.hold = true;
    sim.light.setConnected(connected);

    QObjectList added, changed;
    connect(&engine, &DownloadEngine::itemAdded, this, [&](QObject* l) { added << l; });
    connect(&engine, &DownloadEngine::itemChanged, this, [&](QObject* l) { changed << l; });
    QSignalSpy complete(&engine, &DownloadEngine::downloadComplete);

    engine.enqueue(&sim.light, -1);
    QCOMPARE(added, QObjectList{&sim.light});
    QVERIFY(changed.contains(&sim.light));
    const QueueItem* item = engine.item(&sim.light);
    QVERIFY(item);
    QCOMPARE(item->shown.status, queued);
    if (!connected) {
        // Busy as a journal of unknown length, and since when it waits.
        QCOMPARE(item->shown.barMaximum, 0);
        QVERIFY(item->shown.waitingSince.isValid());
    }
    QCOMPARE(item->shown.id, 7);
    QCOMPARE(item->shown.type, QStringLiteral("Вегал V3.16"));

    sim.light.setConnected(true);
    changed.clear();
    QVERIFY(sim.answerOne());
    // Each answer is told as a change of the item, with what to show.
    QVERIFY(changed.contains(&sim.light));
    QCOMPARE(item->shown.status, Status::Downloading);
    QCOMPARE(item->shown.loadedText, journal ? AnswerOutcome::Blocks : AnswerOutcome::Bytes);
    QCOMPARE(item->shown.loadedValue, journal ? 1 : 200);
    if (!journal)
        QCOMPARE(item->shown.barMaximum, 502);

    while (complete.isEmpty() && sim.answerOne()) {
    }
    QCOMPARE(complete.count(), 1);
    QCOMPARE(item->shown.status, Status::Completed);
    QCOMPARE(item->shown.barValue, item->shown.barMaximum);
    QCOMPARE(added.size(), 1);
}

void TestDownloadEngine::retryAtTheSecondTick()
{
    DownloadEngine engine(true);
    engine.setSaveDir(QDir(dir->path()));
    engine.setTickInterval(0); // ticks come from the test
    QueueSim sim(8);
    sim.hold = true;
    sim.journal = journalRecords(30, 0);
    engine.enqueue(&sim.light, -1);
    QVERIFY(sim.answerOne());
    QVERIFY(sim.light.failNext(3, QStringLiteral("busy")));
    const QueueItem* item = engine.item(&sim.light);
    QCOMPARE(item->shown.status, Status::Failed);
    QCOMPARE(item->shown.message, QStringLiteral("busy"));
    QCOMPARE(item->errors, 1);
    QCOMPARE(item->retryDelay, DownloadEngine::retryDelayMs);
    // A failure at any moment is sent again at the second tick after it.
    engine.tick();
    QCOMPARE(sim.light.commandCount(), 2);
    engine.tick();
    QCOMPARE(sim.light.commandCount(), 3);
    QCOMPARE(sim.light.lastCommand().args, QVariantList{1}); // the same block again
    QCOMPARE(item->shown.status, Status::Downloading);
}

void TestDownloadEngine::deletedLight()
{
    // The host deletes queued lights without clearing them first: one with a
    // retry due, one whose awaited answer the host keeps and finishes later.
    DownloadEngine engine(true);
    engine.setSaveDir(QDir(dir->path()));
    engine.setTickInterval(20);
    auto failing = std::make_unique<QueueSim>(43);
    auto waiting = std::make_unique<QueueSim>(44);
    QueueSim kept(45);
    for (QueueSim* sim : {failing.get(), waiting.get(), &kept}) {
        sim->hold = true;
        engine.enqueue(&sim->light, -1);
    }
    QVERIFY(failing->light.failNext(5));
    std::unique_ptr<Response> late(waiting->light.pendingResponses().value(0));
    QVERIFY(late);
    late->setParent(nullptr);
    QObjectList removed;
    connect(&engine, &DownloadEngine::itemRemoved, this, [&](QObject* l) { removed << l; });
    QObject* const failingLight = &failing->light;
    QObject* const waitingLight = &waiting->light;
    failing.reset();
    waiting.reset();
    QCOMPARE(removed, (QObjectList{failingLight, waitingLight}));
    QCOMPARE(engine.count(), 1);

    late->finishWithData({0, journalRecords(12, 0)});
    QTest::qWait(100); // several ticks: the retry that was due
    engine.stop({&kept.light});
    engine.resume({&kept.light});
    engine.remove({&kept.light});
    QCOMPARE(engine.count(), 0);
}

void TestDownloadEngine::retryGoesOnWhereItFailed()
{
    DownloadEngine engine(true);
    engine.setSaveDir(QDir(dir->path()));
    QueueSim failing(9), running(10);
    failing.journal = running.journal = journalRecords(30, 0);
    failing.hold = running.hold = true;
    engine.enqueue(&failing.light, -1);
    engine.enqueue(&running.light, -1);
    QVERIFY(failing.answerOne());
    QVERIFY(failing.answerOne());
    QVERIFY(failing.light.finishNext({0})); // a wrong answer: failed for good
    const QueueItem* item = engine.item(&failing.light);
    QCOMPARE(item->shown.status, Status::Failed);
    QCOMPARE(item->errors, 1);
    QVERIFY(item->shown.ended.isValid());
    const auto counts = [&engine] {
        QList<int> c;
        for (int phase = 0; phase < QueueItem::phaseCount; ++phase)
            c << engine.countIn(QueueItem::Phase(phase));
        return c;
    }; // waiting, downloading, completed, failed, stopped, retrying
    QCOMPARE(counts(), (QList<int>{0, 1, 0, 1, 0, 0}));

    // Only the failed item is sent for again, from the block it failed at.
    const int runningCommands = running.light.commandCount();
    engine.retry({&failing.light, &running.light});
    QCOMPARE(failing.light.lastCommand().args, QVariantList{2});
    QCOMPARE(item->shown.status, Status::Downloading);
    QCOMPARE(item->errors, 0);
    QCOMPARE(running.light.commandCount(), runningCommands);
    QCOMPARE(counts(), (QList<int>{0, 2, 0, 0, 0, 0}));

    engine.stop({&running.light});
    QCOMPARE(counts(), (QList<int>{0, 1, 0, 0, 1, 0}));
    engine.remove({&running.light});
    engine.clear();
    QCOMPARE(counts(), (QList<int>{0, 0, 0, 0, 0, 0}));
}

void TestDownloadEngine::retryingCountedApart()
{
    // waiting, downloading, completed, failed, stopped, retrying
    DownloadEngine engine(false);
    engine.setSaveDir(QDir(dir->path()));
    engine.setTickInterval(0);
    const auto counts = [&engine] {
        QList<int> c;
        for (int phase = 0; phase < QueueItem::phaseCount; ++phase)
            c << engine.countIn(QueueItem::Phase(phase));
        return c;
    };
    QueueSim busy(21), broken(22), limited(23);
    for (QueueSim* sim : {&busy, &broken, &limited}) {
        sim->hold = true;
        engine.enqueue(&sim->light, -1);
    }
    engine.item(&limited.light)->maxErrors = 2;
    QVERIFY(busy.light.failNext(3, QStringLiteral("busy")));
    QVERIFY(broken.light.finishNext({0, 0})); // a wrong answer: failed for good
    QVERIFY(limited.light.failNext(3));
    QCOMPARE(counts(), (QList<int>{0, 0, 0, 1, 0, 2}));
    engine.tick();
    QCOMPARE(counts(), (QList<int>{0, 0, 0, 1, 0, 2})); // a second to go
    engine.tick();                                      // sent again
    QCOMPARE(counts(), (QList<int>{0, 2, 0, 1, 0, 0}));
    QVERIFY(limited.light.failNext(3)); // its last allowed failure
    QVERIFY(busy.light.failNext(3));
    QCOMPARE(counts(), (QList<int>{0, 0, 0, 2, 0, 1}));
    busy.light.setConnected(false); // retried only once the link is back
    QCOMPARE(counts(), (QList<int>{1, 0, 0, 2, 0, 0}));
    engine.stop({&busy.light});
    QCOMPARE(counts(), (QList<int>{0, 0, 0, 2, 1, 0}));
}

namespace {

// Answers every awaited command until none is left.
void answerAll(QueueSim& sim)
{
    while (sim.answerOne()) {
    }
}

} // namespace

void TestDownloadEngine::continuationNeedsItsJournal_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("atCompletion"); // fine when queued, not at completion
    QTest::addColumn<bool>("tooLarge");
    QTest::newRow("too large") << int(SpecialFiles::Sparse) << false << true;
    QTest::newRow("directory") << int(SpecialFiles::Directory) << false << false;
    QTest::newRow("fifo") << int(SpecialFiles::Fifo) << false << false;
    QTest::newRow("link") << int(SpecialFiles::LinkToRegular) << false << false;
    QTest::newRow("too large at completion") << int(SpecialFiles::Sparse) << true << true;
    QTest::newRow("gone unreadable at completion") << int(SpecialFiles::Directory) << true << false;
}

void TestDownloadEngine::continuationNeedsItsJournal()
{
    // An only-new download never saves its new records without the journal
    // they continue: while that cannot be read, every attempt fails alike.
    QFETCH(int, kind);
    QFETCH(bool, atCompletion);
    QFETCH(bool, tooLarge);
    SPECIALFILES_SKIP_IF(SpecialFiles::unsupported(SpecialFiles::Kind(kind)));
    DownloadEngine engine(true);
    engine.setSaveDir(QDir(dir->path()));
    QueueSim sim(51);
    sim.hold = true;
    const QByteArray old = journalRecords(24, 0);
    const QByteArray fresh = journalRecords(12, 100);
    sim.journal = fresh + old;
    const QString path = QDir(dir->path()).absoluteFilePath("Jrn00051.bin");
    const auto spoil = [&] {
        QFile::remove(path);
        return SpecialFiles::make(SpecialFiles::Kind(kind), path, old, DownloadFile::maxSize + 1);
    };
    const QString message = tooLarge ? QStringLiteral("Error: data too large")
                                     : QStringLiteral("Error open %1").arg(path);
    QSignalSpy failed(&engine, &DownloadEngine::downloadFailed);
    QSignalSpy done(&engine, &DownloadEngine::downloadComplete);

    QVERIFY(writeFile(path, old));
    if (!atCompletion)
        QVERIFY(spoil());
    engine.enqueue(&sim.light, -3);
    if (atCompletion) {
        QVERIFY(sim.answerOne());
        QVERIFY(spoil());
        QVERIFY(sim.answerOne()); // the block holding the marker
    }
    const QueueItem* item = engine.item(&sim.light);
    const int commands = sim.light.commandCount();
    const auto failsAlike = [&](const char* attempt) {
        // A row shows the link's loss, and keeps it while nothing is sent.
        if (item->shown.status != QueueItem::Status::Disconnected) {
            QVERIFY2(item->shown.status == QueueItem::Status::Failed, attempt);
            QCOMPARE(item->shown.message, message);
        }
        QCOMPARE(sim.light.commandCount(), commands);
        QCOMPARE(done.count(), 0);
        QCOMPARE(SpecialFiles::kindAt(path), kind == SpecialFiles::LinkToRegular ? int(S_IFLNK)
                                             : kind == SpecialFiles::Directory   ? int(S_IFDIR)
                                             : kind == SpecialFiles::Fifo        ? int(S_IFIFO)
                                                                                 : int(S_IFREG));
    };
    failsAlike("queued");
    QCOMPARE(failed.count(), 1);
    engine.retry({&sim.light});
    failsAlike("retry");
    engine.resume({&sim.light});
    failsAlike("resume");
    sim.light.setConnected(false);
    sim.light.setConnected(true);
    failsAlike("link back");
    engine.enqueue(&sim.light, -3);
    failsAlike("queued again");

    // Readable again: the next attempt goes on from it.
    QFile::remove(path);
    QDir().rmdir(path);
    QVERIFY(writeFile(path, old));
    engine.retry({&sim.light});
    answerAll(sim);
    QCOMPARE(done.count(), 1);
    QCOMPARE(fileData(path), fresh + old);
}

void TestDownloadEngine::stopKeepsSavedJournal_data()
{
    QTest::addColumn<int>("blocks");
    QTest::addColumn<bool>("saved");  // a journal file exists when queued
    QTest::addColumn<int>("answers"); // before Stop
    QTest::newRow("all, saved") << -1 << true << 2;
    QTest::newRow("all, saved, stop at once") << -1 << true << 0;
    QTest::newRow("two blocks, saved") << 2 << true << 1;
    QTest::newRow("all, none saved") << -1 << false << 2;
    QTest::newRow("only new, saved") << -3 << true << 1;
    QTest::newRow("only new, none saved") << -3 << false << 1;
}

void TestDownloadEngine::stopKeepsSavedJournal()
{
    // Stop never replaces a saved journal with part of a download; the part
    // stays in the item for View, and Resume completes it as usual.
    QFETCH(int, blocks);
    QFETCH(bool, saved);
    QFETCH(int, answers);
    DownloadEngine engine(true);
    engine.setSaveDir(QDir(dir->path()));
    QueueSim sim(52);
    sim.hold = true;
    const QByteArray old = journalRecords(24, 0);
    const QByteArray fresh = journalRecords(36, 100);
    sim.journal = fresh + old;
    const QString path = dir->filePath("Jrn00052.bin");
    if (saved)
        QVERIFY(writeFile(path, old));
    engine.enqueue(&sim.light, blocks);
    for (int i = 0; i < answers; ++i)
        QVERIFY(sim.answerOne());
    engine.stop({&sim.light});
    const QueueItem* item = engine.item(&sim.light);
    QCOMPARE(item->shown.status, QueueItem::Status::Interrupted);
    QCOMPARE(item->buffer, sim.journal.left(answers * 96));
    const QByteArray part = blocks != -3 && !saved ? item->buffer : QByteArray();
    QCOMPARE(QFile::exists(path), saved || !part.isEmpty());
    if (QFile::exists(path))
        QCOMPARE(fileData(path), saved ? old : part);

    QSignalSpy done(&engine, &DownloadEngine::downloadComplete);
    engine.resume({&sim.light});
    answerAll(sim);
    QCOMPARE(done.count(), 1);
    const QByteArray expected = blocks == -3   ? (saved ? fresh + old : sim.journal)
                                : blocks == -1 ? sim.journal
                                               : sim.journal.left(blocks * 96);
    QCOMPARE(fileData(path), expected);
}

void TestDownloadEngine::stopSaveFailureIsReported()
{
    // No journal yet, and it cannot be saved: reported like any failed save;
    // what came stays for View and Resume.
    DownloadEngine engine(true);
    const QDir missing(dir->filePath("missing"));
    engine.setSaveDir(missing);
    QueueSim sim(53);
    sim.hold = true;
    sim.journal = journalRecords(30, 0);
    QSignalSpy failed(&engine, &DownloadEngine::downloadFailed);
    engine.enqueue(&sim.light, -1);
    QVERIFY(sim.answerOne());
    engine.stop({&sim.light});
    const QueueItem* item = engine.item(&sim.light);
    const QString message =
        QStringLiteral("Error open %1").arg(missing.absoluteFilePath("Jrn00053.bin"));
    QCOMPARE(item->shown.status, QueueItem::Status::Failed);
    QCOMPARE(item->shown.message, message);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(1).toString(), message);
    QCOMPARE(item->buffer, sim.journal.left(96));
    QVERIFY(item->canResume());
}

void TestDownloadEngine::deletedResponseIsRetried()
{
    DownloadEngine engine(true);
    engine.setSaveDir(QDir(dir->path()));
    engine.setTickInterval(20);
    QueueSim sim(54);
    sim.hold = true;
    sim.journal = journalRecords(30, 0);
    QSignalSpy failed(&engine, &DownloadEngine::downloadFailed);
    engine.enqueue(&sim.light, -1);
    QVERIFY(sim.answerOne());
    delete sim.light.pendingResponses().value(0);
    const QueueItem* item = engine.item(&sim.light);
    QCOMPARE(item->shown.status, QueueItem::Status::Failed);
    QCOMPARE(item->shown.message, QStringLiteral("Error: response deleted"));
    QCOMPARE(item->errors, 1);
    QCOMPARE(failed.count(), 0); // retryable
    QTRY_COMPARE(sim.light.commandCount(), 3);
    QCOMPARE(sim.light.lastCommand().args, QVariantList{1});
    // A response let go of in the ordinary way is not a lost one.
    answerAll(sim);
    QCOMPARE(item->shown.status, QueueItem::Status::Completed);
    qDeleteAll(sim.light.findChildren<Response*>());
    QCOMPARE(item->shown.status, QueueItem::Status::Completed);
}

void TestDownloadEngine::lightOfAnotherThread()
{
    // Never called from another thread than its own: it fails as a call that
    // cannot be made, and is retried as one.
    DownloadEngine engine(true);
    engine.setSaveDir(QDir(dir->path()));
    QThread other;
    auto* light = new HostLight(55, QStringLiteral("Вегал V3.16"));
    light->moveToThread(&other);
    engine.enqueue(light, -1);
    const QueueItem* item = engine.item(light);
    QCOMPARE(item->shown.status, QueueItem::Status::Failed);
    QCOMPARE(item->shown.message, QStringLiteral("invoke sendCommand error"));
    QVERIFY(item->retryDelay > 0);
    QCOMPARE(light->commandCount(), 0);
    delete light; // its thread never ran
}

void TestDownloadEngine::memoryBudget()
{
    // The budget's rules are its own test's; here, that the engine lets
    // downloads wait and wakes them, and that given-back data is in the files.
    DownloadEngine engine(true);
    engine.setSaveDir(QDir(dir->path()));
    engine.setMemoryBudget(4000);
    std::vector<std::unique_ptr<QueueSim>> sims;
    for (int i = 0; i < 12; ++i) {
        sims.push_back(std::make_unique<QueueSim>(60 + i));
        sims.back()->journal = journalRecords(12 * 12, i * 1000); // twelve blocks
    }
    int waits = 0;
    connect(&engine, &DownloadEngine::itemChanged, this, [&](QObject* light) {
        waits += engine.item(light)->shown.status == QueueItem::Status::Waiting;
    });
    QSignalSpy done(&engine, &DownloadEngine::downloadComplete);
    for (auto& sim : sims)
        engine.enqueue(&sim->light, -1);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), int(sims.size()), 20000);
    QVERIFY2(waits > 0, "no download waited for memory");
    QVERIFY2(engine.memoryHeld() <= 4000, qPrintable(QString::number(engine.memoryHeld())));
    int givenBack = 0;
    for (auto& sim : sims) {
        const QueueItem* item = engine.item(&sim->light);
        QCOMPARE(fileData(engine.itemFileName(&sim->light)), sim->journal);
        QVERIFY(item->canOpen(true));
        givenBack += item->memory.givenBack;
        QCOMPARE(item->buffer.isEmpty(), item->memory.givenBack);
    }
    QVERIFY2(givenBack > 0, "no completed journal gave its data back");
    engine.clear();
    QCOMPARE(engine.memoryHeld(), 0);
}

void TestDownloadEngine::failures_data()
{
    QTest::addColumn<bool>("journal");
    QTest::addColumn<QVariantList>("answer"); // empty: the call itself fails
    QTest::addColumn<int>("errorCode");
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("final");
    QTest::addColumn<Failure>("kind"); // what a view explains it as

    QTest::newRow("error code, no text") << true << QVariantList() << 7 << QString()
                                         << "Response error 7" << false << Failure::ControllerError;
    QTest::newRow("error with text") << false << QVariantList() << 7 << "timeout"
                                     << "timeout" << false << Failure::ControllerError;
    QTest::newRow("call fails") << true << QVariantList() << 0 << QString()
                                << "invoke sendCommand error" << false << Failure::NoCommand;
    QTest::newRow("journal, one element") << true << QVariantList{0} << 0 << QString()
                                          << "Error: wrong answer" << true << Failure::WrongAnswer;
    QTest::newRow("config, two elements") << false << QVariantList{0, 0} << 0 << QString()
                                          << "Error: wrong answer" << true << Failure::WrongAnswer;
    QTest::newRow("wrong area") << false << QVariantList{1, 0, QByteArray("x")} << 0 << QString()
                                << "Error: wrong area" << true << Failure::WrongArea;
    QTest::newRow("empty first piece")
        << false << QVariantList{0, 0, QByteArray()} << 0 << QString() << "Error: empty answer"
        << true << Failure::EmptyAnswer;
    QTest::newRow("unusable offset table")
        << false << QVariantList{0, 0, wordsLE({0xFFFF, 0xFFFF})} << 0 << QString()
        << "Error: invalid config size" << true << Failure::InvalidConfigSize;
}

void TestDownloadEngine::failures()
{
    QFETCH(bool, journal);
    QFETCH(QVariantList, answer);
    QFETCH(int, errorCode);
    QFETCH(QString, errorText);
    QFETCH(QString, message);
    QFETCH(bool, final);
    QFETCH(Failure, kind);
    DownloadEngine engine(journal);
    engine.setSaveDir(QDir(dir->path()));
    QueueSim sim(12);
    sim.hold = true;
    QSignalSpy failed(&engine, &DownloadEngine::downloadFailed);
    if (answer.isEmpty() && errorCode == 0)
        sim.light.setFailCalls(true);
    engine.enqueue(&sim.light, -1);
    if (errorCode != 0)
        QVERIFY(sim.light.failNext(errorCode, errorText));
    else if (!answer.isEmpty())
        QVERIFY(sim.light.finishNext(answer));
    const QueueItem* item = engine.item(&sim.light);
    QCOMPARE(item->shown.status, Status::Failed);
    QCOMPARE(item->shown.message, message);
    QCOMPARE(item->shown.failure, kind);
    QCOMPARE(item->errors, 1);
    QCOMPARE(failed.count(), final ? 1 : 0);
    QCOMPARE(item->retryDelay, final ? 0 : DownloadEngine::retryDelayMs);
    if (final) {
        QCOMPARE(failed.at(0).at(0).value<QObject*>(), &sim.light);
        QCOMPARE(failed.at(0).at(1).toString(), message);
        QCOMPARE(item->shown.barMaximum, 100);
        QCOMPARE(item->shown.barValue, 0);
    }
}

void TestDownloadEngine::maxErrorsThirdIsFinal()
{
    DownloadEngine engine(false);
    engine.setSaveDir(QDir(dir->path()));
    engine.setTickInterval(0);
    QueueSim sim(13);
    sim.hold = true;
    engine.enqueue(&sim.light, -1);
    QueueItem* item = engine.item(&sim.light);
    item->maxErrors = 3;
    QSignalSpy failed(&engine, &DownloadEngine::downloadFailed);
    for (int attempt = 1; attempt <= 3; ++attempt) {
        QVERIFY(sim.light.failNext(1, QStringLiteral("no %1").arg(attempt)));
        QCOMPARE(item->errors, attempt);
        engine.tick();
        engine.tick();
        QCOMPARE(failed.count(), attempt < 3 ? 0 : 1);
    }
    QCOMPARE(failed.at(0).at(1).toString(), QStringLiteral("no 3"));
    QCOMPARE(item->shown.barMaximum, 100);
    QCOMPARE(item->shown.barValue, 0);
    const int commands = sim.light.commandCount();
    for (int i = 0; i < 3; ++i)
        engine.tick();
    QCOMPARE(sim.light.commandCount(), commands);
}

void TestDownloadEngine::lateAnswersIgnored_data()
{
    QTest::addColumn<QString>("event");
    QTest::newRow("after stop") << "stop";
    QTest::newRow("after link loss") << "disconnect";
    QTest::newRow("after clear") << "clear";
    QTest::newRow("duplicate finished") << "duplicate";
}

void TestDownloadEngine::lateAnswersIgnored()
{
    QFETCH(QString, event);
    DownloadEngine engine(true);
    engine.setSaveDir(QDir(dir->path()));
    QueueSim sim(15);
    sim.hold = true;
    sim.journal = journalRecords(40, 0);
    engine.enqueue(&sim.light, -1);
    Response* pending = sim.light.pendingResponses().value(0);
    if (event == QLatin1String("duplicate")) {
        QVERIFY(sim.answerOne());
        QCOMPARE(sim.light.commandCount(), 2);
        pending->emitFinishedAgain();
        QCOMPARE(sim.light.commandCount(), 2);
        QCOMPARE(engine.item(&sim.light)->loaded, 1);
        return;
    }
    if (event == QLatin1String("stop"))
        engine.stop({&sim.light});
    else if (event == QLatin1String("disconnect"))
        sim.light.setConnected(false);
    else
        engine.clear();
    const QueueItem* item = engine.item(&sim.light);
    const Status status = item ? item->shown.status : Status::Waiting;
    QVERIFY(sim.answerOne());
    QCoreApplication::processEvents();
    QCOMPARE(sim.light.commandCount(), 1);
    QCOMPARE(item != nullptr, event != QLatin1String("clear"));
    if (item) {
        QCOMPARE(item->shown.status, status);
        QCOMPARE(item->loaded, 0);
    }
}

void TestDownloadEngine::linkStates_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("resends");
    QTest::newRow("waiting for link") << "waiting" << true;
    QTest::newRow("downloading") << "downloading" << true;
    QTest::newRow("failed") << "failed" << true;
    QTest::newRow("stopped") << "stopped" << false;
    QTest::newRow("completed") << "completed" << false;
}

void TestDownloadEngine::linkStates()
{
    QFETCH(QString, state);
    QFETCH(bool, resends);
    DownloadEngine engine(false);
    engine.setSaveDir(QDir(dir->path()));
    QueueSim sim(16);
    sim.hold = true;
    sim.body = wordsLE({4, 598}) + QByteArray(800, 'b');
    if (state == QLatin1String("waiting"))
        sim.light.setConnected(false);
    engine.enqueue(&sim.light, -1);
    const QueueItem* item = engine.item(&sim.light);
    if (state != QLatin1String("waiting")) {
        QVERIFY(sim.answerOne()); // 200 bytes in
        if (state == QLatin1String("failed")) {
            QVERIFY(sim.light.finishNext({0, 200}));
            QCOMPARE(item->shown.message, QStringLiteral("Error: wrong answer"));
        } else if (state == QLatin1String("stopped")) {
            engine.stop({&sim.light});
        } else if (state == QLatin1String("completed")) {
            answerAll(sim);
            QCOMPARE(item->shown.status, Status::Completed);
        }
        sim.light.setConnected(false);
        QCOMPARE(item->shown.status, Status::Disconnected);
    }
    const QString path = engine.itemFileName(&sim.light);
    const QByteArray before = fileData(path);
    const int commands = sim.light.commandCount();
    sim.light.setConnected(true);
    QCOMPARE(sim.light.commandCount(), commands + (resends ? 1 : 0));
    if (resends) {
        // It goes on from where it was.
        const int at = state == QLatin1String("waiting") ? 0 : 200;
        QCOMPARE(sim.light.lastCommand().args, (QVariantList{0, at}));
        QCOMPARE(item->shown.status, Status::Downloading);
    } else {
        QCOMPARE(item->shown.status, Status::Disconnected);
        QCOMPARE(fileData(path), before);
    }
}

void TestDownloadEngine::storageItemFollowsLink()
{
    // Made for a storage download, then left to the controller.
    DownloadEngine engine(false);
    engine.setSaveDir(QDir(dir->path()));
    QueueSim sim(17);
    sim.hold = true;
    sim.light.setProperty("rpc", true);
    engine.enqueue(&sim.light, -1);
    QCOMPARE(sim.light.commandCount(), 0);
    sim.light.setProperty("rpc", QVariant());
    sim.light.setConnected(false);
    QCOMPARE(engine.item(&sim.light)->shown.status, Status::Disconnected);
    sim.light.setConnected(true);
    QCOMPARE(sim.light.commandCount(), 1);
    QCOMPARE(sim.light.lastCommand().name, QStringLiteral("GET_CONFIG"));

    // The mark holds back the configuration queue only, never a journal.
    DownloadEngine journals(true);
    journals.setSaveDir(QDir(dir->path()));
    sim.light.setProperty("rpc", true);
    journals.enqueue(&sim.light, -1);
    QCOMPARE(sim.light.commandCount(), 2);
    QCOMPARE(sim.light.lastCommand().name, QStringLiteral("GET_JRNL"));
}

void TestDownloadEngine::stopConfigurationWritesNothing()
{
    DownloadEngine engine(false);
    engine.setSaveDir(QDir(dir->path()));
    QueueSim sim(24);
    sim.hold = true;
    sim.body = wordsLE({4, 998}) + QByteArray(996, 'c');
    engine.enqueue(&sim.light, -1);
    QVERIFY(sim.answerOne());
    engine.stop({&sim.light});
    QCOMPARE(engine.item(&sim.light)->shown.status, Status::Interrupted);
    QVERIFY(QDir(dir->path()).entryList(QDir::Files).isEmpty());
}

void TestDownloadEngine::continuationNeverRepeats_data()
{
    // Steps: a = one answer, s = stop, r = resume, d = link lost, c = link back,
    // e = response error (retried two ticks later).
    QTest::addColumn<bool>("text");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("markerKnown");
    QTest::addColumn<bool>("emptyNewest"); // the text journal starts with an empty line
    for (bool text : {false, true}) {
        const char* family = text ? "text " : "binary ";
        QTest::newRow(QByteArray(family).append("straight").constData())
            << text << "" << true << false;
        QTest::newRow(QByteArray(family).append("stop, resume").constData())
            << text << "asr" << true << false;
        QTest::newRow(QByteArray(family).append("stop twice").constData())
            << text << "asrasr" << true << false;
        QTest::newRow(QByteArray(family).append("stop at once").constData())
            << text << "srsr" << true << false;
        QTest::newRow(QByteArray(family).append("link lost").constData())
            << text << "adcae" << true << false;
        QTest::newRow(QByteArray(family).append("marker never met").constData())
            << text << "asr" << false << false;
    }
    QTest::newRow("text empty newest line") << true << "" << true << true;
    QTest::newRow("text empty newest line, stop, resume") << true << "asr" << true << true;
}

void TestDownloadEngine::continuationNeverRepeats()
{
    QFETCH(bool, text);
    QFETCH(QString, steps);
    QFETCH(bool, markerKnown);
    QFETCH(bool, emptyNewest);
    DownloadEngine engine(true);
    engine.setSaveDir(QDir(dir->path()));
    engine.setTickInterval(0);
    QueueSim sim(25, text ? QStringLiteral("tm_helix") : QStringLiteral("Вегал V3.17"));
    sim.hold = true;
    sim.textJournal = text;
    sim.blockLength = text ? 48 : 96;
    const QByteArray top = emptyNewest ? QByteArray(1, '\0') : QByteArray();
    const QByteArray fresh = top + (text ? textLines(20, 100) : journalRecords(20, 100));
    const QByteArray old = text ? textLines(15, 0) : journalRecords(15, 0);
    // The controller holds the new entries, then (unless it lost it) the old ones.
    // Binary journals end at a block with erased space, so keep whole blocks.
    sim.journal = fresh + (markerKnown ? old : (text ? textLines(3, 50) : journalRecords(4, 50)));
    const QString path = dir->filePath("Jrn00025.bin");
    QVERIFY(writeFile(path, top + old));

    QSignalSpy done(&engine, &DownloadEngine::downloadComplete);
    if (!markerKnown)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no longer held the saved journal"));
    engine.enqueue(&sim.light, -3);
    for (const QChar step : steps) {
        switch (step.toLatin1()) {
        case 'a':
            QVERIFY(sim.answerOne());
            break;
        case 's':
            engine.stop({&sim.light});
            QCOMPARE(fileData(path), top + old);
            break;
        case 'r':
            engine.resume({&sim.light});
            break;
        case 'd':
            sim.light.setConnected(false);
            break;
        case 'c':
            sim.light.setConnected(true);
            break;
        case 'e':
            QVERIFY(sim.light.failNext(4));
            engine.tick();
            engine.tick();
            QVERIFY(!sim.light.pendingResponses().isEmpty());
            break;
        }
    }
    while (done.isEmpty() && sim.answerOne()) {
    }
    QCOMPARE(done.count(), 1);
    // Without the marker the controller's whole journal is new; the old file
    // stays behind it all the same.
    const QByteArray expected = markerKnown ? fresh + old : sim.journal + old;
    QCOMPARE(fileData(path), expected);
    // A join without the saved newest record is told, not silent.
    QCOMPARE(engine.item(&sim.light)->shown.markerMissed, !markerKnown);
    QVERIFY(!sim.answerOne());
    // Nothing new since: the next one saves the same journal.
    engine.enqueue(&sim.light, -3);
    answerAll(sim);
    QCOMPARE(done.count(), 2);
    QCOMPARE(fileData(path), expected);
}

void TestDownloadEngine::continuationOfJournalInAnotherCase()
{
#ifndef Q_OS_WIN
    QSKIP("file names that differ in letter case are different files here");
#endif
    // On Windows "JRN00012.BIN" (an older tool's, or copied back from a backup)
    // is the journal "Jrn00012.bin": continued, and replaced, never joined by a second file.
    DownloadEngine engine(true);
    engine.setSaveDir(QDir(dir->path()));
    QueueSim sim(12);
    sim.hold = true;
    const QByteArray fresh = journalRecords(12, 100);
    const QByteArray old = journalRecords(24, 0);
    // Past the saved journal the controller holds older records: read only
    // when the file is not found.
    sim.journal = fresh + old + journalRecords(12, 300);
    QVERIFY(writeFile(dir->filePath("JRN00012.BIN"), old));
    QSignalSpy done(&engine, &DownloadEngine::downloadComplete);
    engine.enqueue(&sim.light, -3);
    while (done.isEmpty() && sim.answerOne()) {
    }
    QCOMPARE(done.count(), 1);
    const QStringList files = QDir(dir->path()).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    QCOMPARE(fileData(dir->filePath(files.first())), fresh + old);
}

void TestDownloadEngine::saveErrors()
{
    // A missing directory: "Error open", a final failure the host hears of.
    // What came is kept: View shows it, and Retry saves it once the directory
    // is there, without asking the controller again.
    for (const bool journal : {false, true}) {
        DownloadEngine engine(journal);
        const QDir missing(dir->filePath(journal ? "missing journals" : "missing"));
        engine.setSaveDir(missing);
        QueueSim sim(31);
        sim.hold = true;
        sim.body = wordsLE({4, 98}) + QByteArray(200, 'c');
        sim.journal = journalRecords(24, 0);
        QSignalSpy done(&engine, &DownloadEngine::downloadComplete);
        QSignalSpy failed(&engine, &DownloadEngine::downloadFailed);
        engine.enqueue(&sim.light, -1);
        answerAll(sim);
        const QString path = missing.absoluteFilePath(journal ? "Jrn00031.bin" : "dat00031.cnf");
        const QString message = QStringLiteral("Error open %1").arg(path);
        const QueueItem* item = engine.item(&sim.light);
        QCOMPARE(item->shown.message, message);
        QCOMPARE(item->shown.failure, Failure::CannotWrite);
        QCOMPARE(item->shown.failurePath, path);
        QCOMPARE(done.count(), 0);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(1).toString(), message);
        QCOMPARE(item->errors, 1);
        QVERIFY(!sim.light.property("dqueue_config").isValid());
        QCOMPARE(item->shown.barValue, 0);
        QCOMPARE(item->canOpen(journal), journal);
        QCOMPARE(engine.unsavedCount(), 1);
        // Failed for good: a returning link fetches nothing again, and the
        // failure, its reason and Retry outlast the link's loss.
        sim.light.setConnected(false);
        QCOMPARE(item->shown.status, Status::Disconnected);
        QCOMPARE(item->phase(), QueueItem::Phase::Failed);
        QCOMPARE(item->shown.message, message);
        QVERIFY(item->canRetry());
        sim.light.setConnected(true);
        QVERIFY(!sim.answerOne());
        QCOMPARE(failed.count(), 1);

        const int commands = sim.light.commandCount();
        QVERIFY(QDir().mkpath(missing.path()));
        engine.retry({&sim.light});
        QCOMPARE(item->shown.retries, 1);
        QCOMPARE(done.count(), 1);
        QCOMPARE(sim.light.commandCount(), commands);
        QCOMPARE(fileData(path), journal ? sim.journal : sim.body.left(100));
        QCOMPARE(engine.unsavedCount(), 0);
    }
    // A write that fails half way (on Windows: a file held open by another
    // program cannot be replaced): "Error write", the previous file intact;
    // a Resume later saves the new records and the previous journal once.
    {
        DownloadEngine engine(true);
        engine.setSaveDir(QDir(dir->path()));
        QueueSim sim(32);
        sim.hold = true;
        sim.blockLength = 8;
        sim.journal = journalRecords(1000, 0);
        const QString path = QDir(dir->path()).absoluteFilePath("Jrn00032.bin");
        QVERIFY(writeFile(path, "previous"));
        QSignalSpy done(&engine, &DownloadEngine::downloadComplete);
        QSignalSpy failed(&engine, &DownloadEngine::downloadFailed);
        engine.enqueue(&sim.light, -3);
        {
            const SpecialFiles::SaveBlocker blocked(path, 1024);
            QVERIFY(blocked.isSet());
            answerAll(sim);
        }
        QCOMPARE(engine.item(&sim.light)->shown.message,
                 QStringLiteral("Error write %1").arg(path));
        QCOMPARE(done.count(), 0);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(fileData(path), QByteArray("previous"));

        engine.resume({&sim.light});
        answerAll(sim);
        QCOMPARE(done.count(), 1);
        QCOMPARE(fileData(path), sim.journal.left(344 * 8) + "previous");
    }
}

void TestDownloadEngine::itemKeepsItsDirectory()
{
    // An only-new download merges with, and replaces, the journal of the
    // directory it was queued for, whatever the directory is by then.
    DownloadEngine engine(true);
    const QDir first(dir->filePath("a")), second(dir->filePath("b"));
    QVERIFY(QDir().mkpath(first.path()) && QDir().mkpath(second.path()));
    const QByteArray old = journalRecords(12, 0), fresh = journalRecords(12, 100);
    QVERIFY(writeFile(first.filePath("Jrn00950.bin"), old));
    QVERIFY(writeFile(second.filePath("Jrn00950.bin"), journalRecords(12, 500)));
    QueueSim sim(950), other(951);
    sim.hold = other.hold = true;
    sim.journal = fresh + old;
    engine.setSaveDir(first);
    engine.enqueue(&sim.light, -3);
    engine.setSaveDir(second);
    engine.enqueue(&other.light, -1);
    answerAll(sim);
    QCOMPARE(fileData(first.filePath("Jrn00950.bin")), fresh + old);
    QCOMPARE(fileData(second.filePath("Jrn00950.bin")), journalRecords(12, 500));
    QCOMPARE(engine.item(&sim.light)->shown.savedPath, first.absoluteFilePath("Jrn00950.bin"));
}

void TestDownloadEngine::savedFileChangeNoticed()
{
    DownloadEngine engine(true);
    engine.setSaveDir(QDir(dir->path()));
    QueueSim sim(60);
    sim.journal = journalRecords(24, 0);
    QSignalSpy done(&engine, &DownloadEngine::downloadComplete);
    engine.enqueue(&sim.light, -1);
    QVERIFY(done.wait());
    QVERIFY(!engine.savedFileChanged(&sim.light));
    QVERIFY(writeFile(dir->filePath("Jrn00060.bin"), journalRecords(3, 0)));
    QVERIFY(engine.savedFileChanged(&sim.light));
    QVERIFY(QFile::remove(dir->filePath("Jrn00060.bin")));
    QVERIFY(engine.savedFileChanged(&sim.light));
}

QTEST_GUILESS_MAIN(TestDownloadEngine)
#include "tst_downloadengine.moc"
