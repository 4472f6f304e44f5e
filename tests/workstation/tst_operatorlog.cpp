// The workstation's log as an operator reads it: a line per request, one per
// failure, a summary per batch; routine ends listed only when verbose.
#include "workstation/operatorlog.h"

#include <QtTest>

using Kind = OperatorLog::Kind;

class TestOperatorLog : public QObject
{
    Q_OBJECT

private slots:
    void batchSummary_data();
    void batchSummary();
    void inWords();
};

void TestOperatorLog::batchSummary_data()
{
    QTest::addColumn<bool>("verbose");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("routine ends counted")
        << false
        << QStringList{"Queued 3 configuration downloads (from the controllers)",
                       "Controller 2: configuration download failed: Error: invalid config size",
                       "3 configuration downloads (from the controllers) ended: 2 completed, "
                       "1 failed"};
    QTest::newRow("verbose: every end listed")
        << true
        << QStringList{"Queued 3 configuration downloads (from the controllers)",
                       "Controller 1: journal downloaded",
                       "Controller 1: configuration saved to /c/dat00001.cnf",
                       "Controller 2: configuration download failed: Error: invalid config size",
                       "Controller 3: configuration saved to /c/dat00003.cnf",
                       "3 configuration downloads (from the controllers) ended: 2 completed, "
                       "1 failed"};
}

void TestOperatorLog::batchSummary()
{
    QFETCH(bool, verbose);
    QFETCH(QStringList, expected);
    OperatorLog log;
    log.setVerbose(verbose);
    QStringList lines = log.requested(Kind::Configuration, {1, 2, 3}, "from the controllers");
    // A journal of the same controller belongs to no configuration batch.
    lines += log.ended(Kind::Journal, 1, true, QString());
    lines += log.ended(Kind::Configuration, 1, true, "/c/dat00001.cnf");
    lines += log.ended(Kind::Configuration, 2, false, "Error: invalid config size");
    lines += log.ended(Kind::Configuration, 3, true, "/c/dat00003.cnf");
    QCOMPARE(lines, expected);
}

void TestOperatorLog::inWords()
{
    OperatorLog log;
    QCOMPARE(log.requested(Kind::Journal, {1, 2}, OperatorLog::blocksText(-3)),
             QStringList{"Queued 2 journal downloads (only new)"});
    // Queued again before they ended: the earlier batch ends, the new one goes on.
    QCOMPARE(log.requested(Kind::Journal, {1, 2}, OperatorLog::blocksText(-1)),
             (QStringList{"2 journal downloads (only new) ended: 0 completed, 2 queued again",
                          "Queued 2 journal downloads (whole journal)"}));
    QCOMPARE(OperatorLog::blocksText(10), QStringLiteral("newest 10 blocks"));
    QCOMPARE(OperatorLog::formatText(0x2FFFF), QStringLiteral("text journal (TM_HELIX)"));
    QCOMPARE(OperatorLog::formatText(315), QStringLiteral("binary journal 3.15"));
}

QTEST_APPLESS_MAIN(TestOperatorLog)
#include "tst_operatorlog.moc"
