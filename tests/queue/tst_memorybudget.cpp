// The memory budget alone: items in a hash, answers of known sizes.
#include "queue/memorybudget.h"

#include <QtTest>

class TestMemoryBudget : public QObject
{
    Q_OBJECT

private slots:
    void waitsBeyondTheLimitButForTheExempt();
    void givesBackTheOldestCompletedFirst();
    void wakeSkipsAWaiterStoppedMeanwhile();

private:
    static QObjectList woken(MemoryBudget& budget);
};

QObjectList TestMemoryBudget::woken(MemoryBudget& budget)
{
    QObjectList lights;
    budget.wakeWaiters([&](QObject* light) { lights.append(light); });
    return lights;
}

void TestMemoryBudget::waitsBeyondTheLimitButForTheExempt()
{
    QHash<QObject*, QueueItem> items;
    int wakes = 0;
    MemoryBudget budget(items, 1000, [&] { ++wakes; });
    constexpr int count = MemoryBudget::exemptDownloads + 2;
    QObject lights[count];
    for (QObject& light : lights)
        items[&light].shown.status = QueueItem::Status::Downloading;
    const QVariantList answer{QByteArray(600, 'x')};
    QVERIFY(budget.makeRoomForAnswer(&lights[0], items[&lights[0]], answer));
    items[&lights[0]].buffer = QByteArray(600, 'x');
    budget.itemChanged(items[&lights[0]]);
    // Past the limit only so many may grow, each by at most a download's ceiling.
    for (int i = 1; i <= MemoryBudget::exemptDownloads; ++i) {
        QVERIFY(budget.makeRoomForAnswer(&lights[i], items[&lights[i]], answer));
        QVERIFY(items[&lights[i]].memory.exempt);
    }
    QObject* last = &lights[count - 1];
    QVERIFY(!budget.makeRoomForAnswer(last, items[last], answer));
    QVERIFY(items[last].memory.waiting);
    items[last].shown.status = QueueItem::Status::Waiting;
    QCOMPARE(woken(budget), QObjectList());

    // A stopped download gives its leave back, and the waiter goes on with it.
    items[&lights[1]].stopped = true;
    items[&lights[1]].shown.status = QueueItem::Status::Interrupted;
    budget.itemChanged(items[&lights[1]]);
    QVERIFY2(wakes == 1, qPrintable(QString::number(wakes)));
    QCOMPARE(woken(budget), QObjectList{last});
    QVERIFY(items[last].memory.exempt);
    QVERIFY(!items[last].memory.waiting);
}

void TestMemoryBudget::givesBackTheOldestCompletedFirst()
{
    QHash<QObject*, QueueItem> items;
    MemoryBudget budget(items, 1000, {});
    QObject lights[4];
    for (QObject& light : lights)
        items.insert(&light, QueueItem());
    for (int i = 0; i < 3; ++i) {
        QueueItem& item = items[&lights[i]];
        item.buffer = QByteArray(400, 'x');
        item.done = true;
        item.shown.status = QueueItem::Status::Completed;
        budget.completed(&lights[i], item);
        budget.itemChanged(item);
    }
    budget.giveBackCompleted(0);
    QVERIFY2(budget.held() <= 1000, qPrintable(QString::number(budget.held())));
    QVERIFY(items[&lights[0]].memory.givenBack);
    QVERIFY(items[&lights[0]].buffer.isEmpty());
    QVERIFY(!items[&lights[1]].memory.givenBack);

    // Room for an answer takes the next oldest, and no more.
    QVERIFY(budget.makeRoomForAnswer(&lights[3], items[&lights[3]], {QByteArray(500, 'y')}));
    QVERIFY(items[&lights[1]].memory.givenBack);
    QVERIFY(!items[&lights[2]].memory.givenBack);
    for (QueueItem& item : items)
        budget.itemRemoved(item);
    QCOMPARE(budget.held(), 0);
}

void TestMemoryBudget::wakeSkipsAWaiterStoppedMeanwhile()
{
    QHash<QObject*, QueueItem> items;
    MemoryBudget budget(items, 1000, {});
    constexpr int exempt = MemoryBudget::exemptDownloads;
    QObject lights[exempt + 3];
    for (QObject& light : lights)
        items[&light].shown.status = QueueItem::Status::Downloading;
    QObject* full = &lights[0];
    items[full].buffer = QByteArray(1000, 'x');
    budget.itemChanged(items[full]);
    const QVariantList answer{QByteArray(100, 'y')};
    for (int i = 1; i <= exempt; ++i)
        QVERIFY(budget.makeRoomForAnswer(&lights[i], items[&lights[i]], answer));
    QObject* first = &lights[exempt + 1];
    QObject* second = &lights[exempt + 2];
    for (QObject* waiter : {first, second}) {
        QVERIFY(!budget.makeRoomForAnswer(waiter, items[waiter], answer));
        items[waiter].shown.status = QueueItem::Status::Waiting;
    }
    items[full].buffer = QByteArray();
    budget.itemChanged(items[full]);

    // Both fit now, but the host, going on with the first, stops the second.
    QObjectList wokenLights;
    budget.wakeWaiters([&](QObject* light) {
        wokenLights.append(light);
        if (light == first) {
            items[second].shown.status = QueueItem::Status::Interrupted;
            budget.itemChanged(items[second]);
        }
    });
    QCOMPARE(wokenLights, QObjectList{first});
}

QTEST_GUILESS_MAIN(TestMemoryBudget)
#include "tst_memorybudget.moc"
