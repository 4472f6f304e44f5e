// The download engine alone: no widget, no application with a GUI.
#include "queue/downloadengine.h"
#include "queuesim.h"

#include <QtTest>

#include <memory>

using Status = QueueItem::Status;
Q_DECLARE_METATYPE(Status)

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
    QCOMPARE(item->status, queued);
    QCOMPARE(item->id, 7);
    QCOMPARE(item->type, QStringLiteral("Вегал V3.16"));

    sim.light.setConnected(true);
    changed.clear();
    QVERIFY(sim.answerOne());
    // Each answer is told as a change of the item, with what to show.
    QVERIFY(changed.contains(&sim.light));
    QCOMPARE(item->status, Status::Downloading);
    QCOMPARE(item->loadedShown, journal ? BlockOutcome::Blocks : BlockOutcome::Bytes);
    QCOMPARE(item->loadedValue, journal ? 1 : 200);
    if (!journal)
        QCOMPARE(item->barMaximum, 502);

    while (complete.isEmpty() && sim.answerOne()) {
    }
    QCOMPARE(complete.count(), 1);
    QCOMPARE(item->status, Status::Completed);
    QCOMPARE(item->barValue, item->barMaximum);
    QCOMPARE(added.size(), 1);
}

void TestDownloadEngine::retryAtTheSecondTick()
{
    DownloadEngine engine(true);
    engine.setSaveDir(QDir(dir->path()));
    engine.setTickInterval(20); // each tick still counts as a second
    QueueSim sim(8);
    sim.hold = true;
    engine.enqueue(&sim.light, -1);
    QVERIFY(sim.light.failNext(3, QStringLiteral("busy")));
    const QueueItem* item = engine.item(&sim.light);
    QCOMPARE(item->status, Status::Failed);
    QCOMPARE(item->message, QStringLiteral("busy"));
    QCOMPARE(item->errors, 1);
    QTRY_COMPARE(sim.light.commandCount(), 2);
    QCOMPARE(sim.light.lastCommand().args, QVariantList{0});
    QCOMPARE(item->status, Status::Downloading);
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
    QCOMPARE(item->status, Status::Failed);
    QCOMPARE(item->errors, 1);
    QVERIFY(item->ended.isValid());
    const auto counts = [&engine] {
        QList<int> c;
        for (int phase = 0; phase < QueueItem::phaseCount; ++phase)
            c << engine.countIn(QueueItem::Phase(phase));
        return c;
    }; // waiting, downloading, completed, failed, stopped
    QCOMPARE(counts(), (QList<int>{0, 1, 0, 1, 0}));

    // Only the failed item is sent for again, from the block it failed at.
    const int runningCommands = running.light.commandCount();
    engine.retry({&failing.light, &running.light});
    QCOMPARE(failing.light.lastCommand().args, QVariantList{2});
    QCOMPARE(item->status, Status::Downloading);
    QCOMPARE(item->errors, 0);
    QCOMPARE(running.light.commandCount(), runningCommands);
    QCOMPARE(counts(), (QList<int>{0, 2, 0, 0, 0}));

    engine.stop({&running.light});
    QCOMPARE(counts(), (QList<int>{0, 1, 0, 0, 1}));
    engine.remove({&running.light});
    engine.clear();
    QCOMPARE(counts(), (QList<int>{0, 0, 0, 0, 0}));
}

QTEST_GUILESS_MAIN(TestDownloadEngine)
#include "tst_downloadengine.moc"
