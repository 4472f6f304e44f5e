// What hovering a Status cell tells, built without any widget.
#include "queue/statustip.h"

#include <QtTest>

Q_DECLARE_METATYPE(QueueItem)

class TestStatusTip : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
};

void TestStatusTip::lines_data()
{
    const QDateTime when(QDate(2024, 3, 5), QTime(6, 7, 8));
    QTest::addColumn<QueueItem>("item");
    QTest::addColumn<QStringList>("expected");

    QueueItem failed;
    failed.shown.status = QueueItem::Status::Failed;
    failed.shown.message = QStringLiteral("Error: data too large");
    failed.shown.failure = QueueItem::Failure::SavedTooLarge;
    failed.shown.failurePath = QStringLiteral("/var/journals/Jrn01037.bin");
    failed.shown.ended = when;
    QTest::newRow("failure: message, plain words, file, time")
        << failed
        << QStringList{"Error: data too large",
                       "The saved journal Jrn01037.bin is larger than 16 MiB and cannot be "
                       "continued: move it aside, then Retry.",
                       "File: " + QDir::toNativeSeparators("/var/journals/Jrn01037.bin"),
                       "Failed 2024-03-05 06:07:08"};

    QueueItem retried = failed;
    retried.shown.failure = QueueItem::Failure::WrongAnswer;
    retried.shown.failurePath.clear();
    retried.shown.message = QStringLiteral("Error: wrong answer");
    retried.shown.retries = 2;
    retried.shown.retried = when.addSecs(60);
    QTest::newRow("failed again after Retry: the attempt and when")
        << retried
        << QStringList{"Error: wrong answer",
                       "The controller's answer did not fit the request. Retry; if it fails "
                       "again, check the controller's software.",
                       "Failed 2024-03-05 06:07:08",
                       "Attempt 3, the last Retry 2024-03-05 06:08:08"};

    QueueItem down = failed;
    down.shown.status = QueueItem::Status::Disconnected;
    down.finalFailure = true;
    down.shown.waitingSince = when.addSecs(3600);
    QTest::newRow("failed for good, then the link lost")
        << down
        << QStringList{"Error: data too large",
                       "The saved journal Jrn01037.bin is larger than 16 MiB and cannot be "
                       "continued: move it aside, then Retry.",
                       "File: " + QDir::toNativeSeparators("/var/journals/Jrn01037.bin"),
                       "Failed 2024-03-05 06:07:08", "Link lost 2024-03-05 07:07:08"};

    QueueItem waiting;
    waiting.shown.status = QueueItem::Status::WaitingForConnection;
    waiting.shown.waitingSince = when;
    QTest::newRow("waiting for the link: since when")
        << waiting << QStringList{"Waiting for the controller's link since 2024-03-05 06:07:08"};

    QueueItem running;
    running.shown.status = QueueItem::Status::Downloading;
    running.shown.retries = 1;
    QTest::newRow("downloading: nothing to add") << running << QStringList();
}

void TestStatusTip::lines()
{
    QFETCH(QueueItem, item);
    QFETCH(QStringList, expected);
    const QString tip = StatusTip::text(item);
    QCOMPARE(tip.isEmpty() ? QStringList() : tip.split(QLatin1Char('\n')), expected);
}

QTEST_APPLESS_MAIN(TestStatusTip)
#include "tst_statustip.moc"
