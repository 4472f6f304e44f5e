#include "journal/journaltime.h"
#include "journal/journaltimeline.h"

#include <QtTest>

namespace {

qint64 at(int day, int hour, int minute = 0)
{
    return JournalTime::fromFields(2026, 3, day, hour, minute, 0);
}

} // namespace

class TestJournalTimeline : public QObject
{
    Q_OBJECT

private slots:
    void bins_data();
    void bins();
    void labels_data();
    void labels();
};

void TestJournalTimeline::bins_data()
{
    QTest::addColumn<QVector<qint64>>("when"); // per record; records oldest first by index
    QTest::addColumn<qint64>("binSeconds");
    QTest::addColumn<QVector<int>>("records");
    QTest::addColumn<QVector<int>>("errors"); // errors are the odd records
    QTest::addColumn<QVector<int>>("first");

    QTest::newRow("hours, a gap, an unknown time")
        << QVector<qint64>{at(1, 10, 5), at(1, 10, 59), JournalTime::Unknown, at(1, 12, 0)}
        << JournalTimeline::Hour << QVector<int>{2, 0, 1} << QVector<int>{1, 0, 1}
        << QVector<int>{0, -1, 3};
    QTest::newRow("weeks: days") << QVector<qint64>{at(1, 23, 59), at(2, 0, 0), at(20, 12)}
                                 << JournalTimeline::Day
                                 << (QVector<int>{1, 1} + QVector<int>(17) + QVector<int>{1})
                                 << (QVector<int>{0, 1} + QVector<int>(18))
                                 << (QVector<int>{0, 1} + QVector<int>(17, -1) + QVector<int>{2});
    QTest::newRow("years: days merged")
        << QVector<qint64>{JournalTime::fromFields(2000, 1, 1, 0, 0, 0), at(1, 0)}
        << JournalTimeline::Day * 10 << QVector<int>() << QVector<int>() << QVector<int>();
    QTest::newRow("no times") << QVector<qint64>{JournalTime::Unknown} << JournalTimeline::Hour
                              << QVector<int>{} << QVector<int>{} << QVector<int>{};
}

void TestJournalTimeline::bins()
{
    QFETCH(QVector<qint64>, when);
    QFETCH(qint64, binSeconds);
    QFETCH(QVector<int>, records);
    QFETCH(QVector<int>, errors);
    QFETCH(QVector<int>, first);
    QVector<int> oldestFirst;
    QVector<bool> error;
    for (int i = 0; i < when.size(); ++i) {
        oldestFirst << i;
        error << (i % 2 == 1);
    }
    JournalTimeline timeline;
    timeline.build(oldestFirst, when, error);
    QCOMPARE(timeline.binSeconds(), binSeconds);
    if (records.isEmpty()) { // only the width and the bound are of interest
        QVERIFY(timeline.bins().size() <= JournalTimeline::MaxBins);
        return;
    }
    QVector<int> gotRecords, gotErrors, gotFirst;
    for (const JournalTimeline::Bin& b : timeline.bins()) {
        gotRecords << b.records;
        gotErrors << b.errors;
        gotFirst << b.first;
    }
    QCOMPARE(gotRecords, records);
    QCOMPARE(gotErrors, errors);
    QCOMPARE(gotFirst, first);
    QCOMPARE(timeline.binOf(when.last()), records.size() - 1);
    QCOMPARE(timeline.binOf(JournalTime::Unknown), -1);
}

void TestJournalTimeline::labels_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<QVector<qint64>>("times");
    // 48 hourly bars from 1 March 10:00; labels 40 pixels wide.
    QVector<qint64> threeHours;
    for (qint64 t = at(1, 12); t < at(3, 10); t += 3 * JournalTimeline::Hour)
        threeHours << t;
    QTest::newRow("wide: every three hours, from the first whole step") << 960 << threeHours;
    QTest::newRow("narrow: midnights") << 200 << QVector<qint64>{at(2, 0), at(3, 0)};
    QTest::newRow("no room") << 0 << QVector<qint64>{};
}

void TestJournalTimeline::labels()
{
    QFETCH(int, width);
    QFETCH(QVector<qint64>, times);
    JournalTimeline timeline;
    timeline.build({0, 1}, {at(1, 10, 5), at(3, 9)}, {});
    QCOMPARE(timeline.labelTimes(width, 40), times);
}

QTEST_GUILESS_MAIN(TestJournalTimeline)
#include "tst_journaltimeline.moc"
