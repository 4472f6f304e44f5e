#include "journal/journaltime.h"
#include "journal/journaltimeinput.h"

#include <QtTest>

class TestJournalTimeInput : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void TestJournalTimeInput::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("understood"); // empty: not read
    // The journal's newest record: 14.11.2026 03:20:00.
    QTest::newRow("time") << "03:10"
                          << "14.11.2026 03:10:00";
    QTest::newRow("one-digit hour, spaces") << " 3:10 "
                                            << "14.11.2026 03:10:00";
    QTest::newRow("seconds") << "03:10:16"
                             << "14.11.2026 03:10:16";
    QTest::newRow("after the newest: the day before") << "03:30"
                                                      << "13.11.2026 03:30:00";
    QTest::newRow("day") << "14.11 03:10"
                         << "14.11.2026 03:10:00";
    QTest::newRow("day after the newest: the year before") << "15.11 03:10"
                                                           << "15.11.2025 03:10:00";
    QTest::newRow("year") << "14.11.2026 03:10"
                          << "14.11.2026 03:10:00";
    QTest::newRow("two-digit year, as text journals") << "14.11.25 03:10"
                                                      << "14.11.2025 03:10:00";
    QTest::newRow("ISO") << "2026-11-14 03:10"
                         << "14.11.2026 03:10:00";
    QTest::newRow("ISO with T and seconds") << "2026-11-14T03:10:16"
                                            << "14.11.2026 03:10:16";
    QTest::newRow("digits run together") << "14.11 0310"
                                         << "";
    QTest::newRow("no such time") << "24:10"
                                  << "";
    QTest::newRow("no such day") << "31.11.2026 03:10"
                                 << "";
    QTest::newRow("words") << "yesterday"
                           << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestJournalTimeInput::parse()
{
    QFETCH(QString, text);
    QFETCH(QString, understood);
    const qint64 newest = JournalTime::fromFields(2026, 11, 14, 3, 20, 0);
    QCOMPARE(JournalTimeInput::describe(JournalTimeInput::parse(text, newest)), understood);
}

QTEST_APPLESS_MAIN(TestJournalTimeInput)
#include "tst_journaltimeinput.moc"
