#include "journal/journalsearch.h"

#include <QtTest>

#include <limits>

// Three columns of four rows, given column by column. finishAtOnce: after one
// slice the rest is asked for in one go, as Enter during a search does.
static JournalSearch searchOver(const QString& text, bool finishAtOnce = false)
{
    JournalSearch search;
    search.setCells(4, 3,
                    {"a1", "x", "A2", "y",                      // column 0
                     "x", "x", "x", "b",                        // column 1
                     QStringLiteral("Ёлка a"), "z", "z", "a"}); // column 2
    search.start(text);
    if (finishAtOnce) {
        if (!search.proceed(2))
            search.proceed(std::numeric_limits<int>::max());
        return search;
    }
    while (!search.proceed(2)) {
    }
    return search;
}

class TestJournalSearch : public QObject
{
    Q_OBJECT

private slots:
    void matchesInCountOrder_data();
    void matchesInCountOrder();
    void navigation_data();
    void navigation();
    void narrowingSeesEditedCells();
};

void TestJournalSearch::matchesInCountOrder_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVector<int>>("cells");
    QTest::addColumn<QVector<bool>>("rows");
    QTest::addColumn<bool>("finishAtOnce");
    QTest::newRow("empty") << QString() << QVector<int>{} << QVector<bool>{0, 0, 0, 0} << false;
    QTest::newRow("case and columns")
        << "A" << QVector<int>{0, 2, 8, 11} << QVector<bool>{1, 0, 1, 1} << false;
    QTest::newRow("Cyrillic capitals")
        << QStringLiteral("ёЛ") << QVector<int>{8} << QVector<bool>{1, 0, 0, 0} << false;
    QTest::newRow("the rest at once after a slice")
        << "A" << QVector<int>{0, 2, 8, 11} << QVector<bool>{1, 0, 1, 1} << true;
}

void TestJournalSearch::matchesInCountOrder()
{
    QFETCH(QString, text);
    QFETCH(QVector<int>, cells);
    QFETCH(QVector<bool>, rows);
    QFETCH(bool, finishAtOnce);
    const JournalSearch search = searchOver(text, finishAtOnce);
    QVERIFY(search.isDone());
    QCOMPARE(search.matches(), cells);
    QCOMPARE(search.matchingRows(), rows);
}

void TestJournalSearch::navigation_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("row"); // the current cell; -1: none
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("next");
    QTest::addColumn<int>("previous");
    QTest::addColumn<QString>("wrapped"); // "n": next wrapped, "p": previous wrapped
    // Matches of "a": (0,0) (2,0) (0,2) (3,2), positions 0 to 3; in reading
    // order (0,0) (0,2) (2,0) (3,2).
    QTest::newRow("no current cell") << "a" << -1 << 0 << 0 << 3 << "";
    QTest::newRow("on a match") << "a" << 2 << 0 << 3 << 2 << "";
    QTest::newRow("between matches: the nearest rows") << "a" << 1 << 1 << 1 << 2 << "";
    QTest::newRow("on the last: next wraps") << "a" << 3 << 2 << 0 << 1 << "n";
    QTest::newRow("on the first: previous wraps") << "a" << 0 << 0 << 2 << 3 << "p";
    QTest::newRow("before a row's first cell") << "a" << 0 << -1 << 0 << 3 << "p";
    QTest::newRow("nothing matches") << "q" << 1 << 1 << -1 << -1 << "";
}

void TestJournalSearch::navigation()
{
    QFETCH(QString, text);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, next);
    QFETCH(int, previous);
    QFETCH(QString, wrapped);
    const JournalSearch search = searchOver(text);
    bool nextWrapped = true, previousWrapped = true;
    QCOMPARE(search.next(row, column, &nextWrapped), next);
    QCOMPARE(search.previous(row, column, &previousWrapped), previous);
    QCOMPARE(nextWrapped, wrapped.contains('n'));
    QCOMPARE(previousWrapped, wrapped.contains('p'));
    if (text == QLatin1String("a")) {
        QVector<int> ordinals;
        for (int m = 0; m < search.matches().size(); ++m)
            ordinals << search.ordinal(m);
        QCOMPARE(ordinals, (QVector<int>{1, 3, 2, 4}));
    }
}

void TestJournalSearch::narrowingSeesEditedCells()
{
    // A longer text only rescans the matches of the shorter one, unless a
    // cell has changed since.
    JournalSearch search = searchOver(QStringLiteral("x"));
    search.setCell(3, 0, QStringLiteral("xy"));
    search.start(QStringLiteral("xy"));
    QVERIFY(search.proceed(100));
    QCOMPARE(search.matches(), QVector<int>{3});
    search.start(QStringLiteral("xyz"));
    QVERIFY(search.proceed(100));
    QVERIFY(search.matches().isEmpty());
}

QTEST_APPLESS_MAIN(TestJournalSearch)
#include "tst_journalsearch.moc"
