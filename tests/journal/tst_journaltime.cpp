#include "journal/journaldecoder.h"
#include "journal/journaltime.h"
#include "journal/recordtime.h"

#include <QtTest>

using JournalTime::Unknown;

namespace {

qint64 at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return JournalTime::fromFields(year, month, day, hour, minute, second);
}

} // namespace

class TestJournalTime : public QObject
{
    Q_OBJECT

private slots:
    void fromText_data();
    void fromText();
    void fieldsCountAsQDate();
    void binaryTimes_data();
    void binaryTimes();
    void latestNotAfter_data();
    void latestNotAfter();
    void goTo_data();
    void goTo();
};

void TestJournalTime::fromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("when");
    QTest::newRow("two-digit year") << "31.12.25 23:59:59" << at(2025, 12, 31, 23, 59, 59);
    QTest::newRow("four-digit year") << "1.3.2026 07:08:09" << at(2026, 3, 1, 7, 8, 9);
    QTest::newRow("no seconds") << "1.3.26 7:08" << at(2026, 3, 1, 7, 8, 0);
    QTest::newRow("three-digit year") << "01.03.026 07:08:09" << Unknown;
    QTest::newRow("no such day") << "29.02.25 10:00:00" << Unknown;
    QTest::newRow("hour 24") << "01.01.26 24:00:00" << Unknown;
    QTest::newRow("no year") << "01.01 10:00:00" << Unknown;
    QTest::newRow("trailing text") << "01.01.26 10:00:00x" << Unknown;
}

void TestJournalTime::fromText()
{
    QFETCH(QString, text);
    QFETCH(qint64, when);
    QCOMPARE(RecordTime::fromText(text).when(), when);
}

void TestJournalTime::fieldsCountAsQDate()
{
    // The fast count agrees with QDate's over centuries' leap rules and year ends.
    for (const QDate& start : {QDate(1899, 12, 1), QDate(1999, 12, 1), QDate(2099, 12, 1)})
        for (QDate d = start; d < start.addDays(500); d = d.addDays(1))
            QCOMPARE(JournalTime::of(d.year(), d.month(), d.day(), 23, 59, 58),
                     at(d.year(), d.month(), d.day(), 23, 59, 58));
    QCOMPARE(JournalTime::of(2026, 2, 29, 8, 0, 0), at(2026, 3, 1, 8));
}

void TestJournalTime::binaryTimes_data()
{
    QTest::addColumn<QStringList>("times"); // newest first, as the decoder streams them
    QTest::addColumn<QDate>("written");
    QTest::addColumn<QVector<qint64>>("when");
    QTest::addColumn<QVector<qint64>>("order");

    // Equal neighbours share a key, so the later added of them stands above.
    QTest::newRow("across the year, equal stamps")
        << QStringList{"02.01 00:00:01", "31.12 23:59:59", "31.12 23:59:59", "28.02 10:00:00"}
        << QDate(2026, 3, 5)
        << QVector<qint64>{at(2026, 1, 2, 0, 0, 1), at(2025, 12, 31, 23, 59, 59),
                           at(2025, 12, 31, 23, 59, 59), at(2025, 2, 28, 10)}
        << QVector<qint64>{2, 1, 1, 0};
    // The journal's own order wins over the stamps: a clock set back stays in place.
    QTest::newRow("clock set back")
        << QStringList{"01.03 10:00:00", "01.03 10:05:00", "28.02 09:00:00"} << QDate(2026, 3, 1)
        << QVector<qint64>{at(2026, 3, 1, 10), at(2026, 3, 1, 10, 5), at(2026, 2, 28, 9)}
        << QVector<qint64>{2, 1, 0};
    QTest::newRow("newest past today is of last year, bad stamps unknown")
        << QStringList{"20.11 08:00:00", "31.15 31:63:63", "30.02 00:00:00"} << QDate(2026, 1, 10)
        << QVector<qint64>{at(2025, 11, 20, 8), Unknown, Unknown} << QVector<qint64>{2, 1, 0};
    QTest::newRow("two new years")
        << QStringList{"02.01 10:00:00", "30.12 09:00:00", "15.06 12:00:00", "03.01 08:00:00",
                       "28.12 07:00:00"}
        << QDate(2026, 1, 2)
        << QVector<qint64>{at(2026, 1, 2, 10), at(2025, 12, 30, 9), at(2025, 6, 15, 12),
                           at(2025, 1, 3, 8), at(2024, 12, 28, 7)}
        << QVector<qint64>{4, 3, 2, 1, 0};
    // A clock that had a 29 February in a year without one: the record keeps
    // its place, the day after 28 February.
    QTest::newRow("29 February, common year")
        << QStringList{"01.03 08:00:00", "29.02 23:00:00", "28.02 22:00:00"} << QDate(2026, 3, 1)
        << QVector<qint64>{at(2026, 3, 1, 8), at(2026, 3, 1, 23), at(2026, 2, 28, 22)}
        << QVector<qint64>{2, 1, 0};
    QTest::newRow("29 February, leap year")
        << QStringList{"29.02 23:00:00"} << QDate(2028, 3, 1)
        << QVector<qint64>{at(2028, 2, 29, 23)} << QVector<qint64>{0};
}

void TestJournalTime::binaryTimes()
{
    QFETCH(QStringList, times);
    QFETCH(QDate, written);
    QFETCH(QVector<qint64>, when);
    QFETCH(QVector<qint64>, order);
    QVector<JournalRow> rows(times.size());
    QVector<quint32> words;
    for (const QString& t : times) {
        // "dd.MM hh:mm:ss", packed as a record's time word.
        const auto field = [&t](int at) { return quint32(t.mid(at, 2).toUInt()); };
        words << (field(12) | field(9) << 6 | field(6) << 12 | field(0) << 17 | field(3) << 22);
    }
    JournalTime::setBinaryTimes(rows, words, written);
    QVector<qint64> gotWhen, gotOrder;
    for (const JournalRow& r : rows) {
        gotWhen << r.when;
        gotOrder << r.order;
    }
    QCOMPARE(gotWhen, when);
    QCOMPARE(gotOrder, order);
}

void TestJournalTime::latestNotAfter_data()
{
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<qint64>("newest");
    QTest::addColumn<qint64>("when");
    const qint64 newest = at(2026, 1, 3, 12);
    QTest::newRow("this year") << 1 << 2 << newest << at(2026, 1, 2, 10);
    QTest::newRow("after the newest: last year") << 12 << 30 << newest << at(2025, 12, 30, 10);
    QTest::newRow("29 February: the leap year before") << 2 << 29 << newest << at(2024, 2, 29, 10);
    QTest::newRow("no such day") << 2 << 30 << newest << Unknown;
}

void TestJournalTime::latestNotAfter()
{
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(qint64, newest);
    QFETCH(qint64, when);
    QCOMPARE(JournalTime::latestNotAfter(month, day, QTime(10, 0), newest), when);
}

void TestJournalTime::goTo_data()
{
    QTest::addColumn<qint64>("target");
    QTest::addColumn<int>("record");
    // Records 0..4 oldest first are 3, 1, 4, 0, 2; record 4 has no time and
    // the others are stamped in time order.
    QTest::newRow("before all: the oldest") << at(2026, 1, 1) << 3;
    QTest::newRow("exact") << at(2026, 1, 2, 10) << 1;
    QTest::newRow("between: the next in time order") << at(2026, 1, 2, 10, 0, 1) << 0;
    QTest::newRow("after all: the last before") << at(2026, 2, 1) << 2;
}

void TestJournalTime::goTo()
{
    QFETCH(qint64, target);
    QFETCH(int, record);
    const QVector<qint64> when{at(2026, 1, 2, 11), at(2026, 1, 2, 10), at(2026, 1, 3),
                               at(2026, 1, 1, 23), Unknown};
    QCOMPARE(JournalTime::goTo({3, 1, 4, 0, 2}, when, target), record);
    QCOMPARE(JournalTime::goTo({4}, when, target), -1);
}

QTEST_GUILESS_MAIN(TestJournalTime)
#include "tst_journaltime.moc"
