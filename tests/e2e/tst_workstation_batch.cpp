#include "host/simulatedfleet.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

// Runs the workstation's headless batch as a user would and checks what it
// leaves on disk against the simulated controllers and the storage, byte for byte.
class TestWorkstationBatch : public QObject
{
    Q_OBJECT

private slots:
    void batchLeavesExactFiles_data();
    void batchLeavesExactFiles();
    void unexpectedOutcomesComeFirst_data();
    void unexpectedOutcomesComeFirst();
    void modulePath_data();
    void modulePath();
    void badValueEndsAtOnce();

private:
    QString workstation() const
    {
        return QDir(QCoreApplication::applicationDirPath())
            .absoluteFilePath(QStringLiteral("dq-workstation"));
    }
    // Runs the batch; returns its exit code (-1: it did not end by itself).
    int runBatch(const QStringList& args, QString* output, const QString& workingDir = QString());
    // The lines of the summary table, without its heading.
    static QStringList summaryRows(const QString& output);
};

int TestWorkstationBatch::runBatch(const QStringList& args, QString* output,
                                   const QString& workingDir)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (!workingDir.isEmpty())
        p.setWorkingDirectory(workingDir);
    p.start(workstation(), QStringList{QStringLiteral("--batch")} + args);
    const bool ended = p.waitForFinished(240000);
    // Line ends as on Linux: Windows' console output has "\r\n".
    *output = QString::fromUtf8(p.readAll()).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return ended && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QStringList TestWorkstationBatch::summaryRows(const QString& output)
{
    const QString table = output.section(QLatin1String("\nSummary"), 1)
                              .section(QRegularExpression(QStringLiteral("\n-+\n")), 1)
                              .section(QRegularExpression(QStringLiteral("\n\\d+ of \\d+ ")), 0, 0);
    return table.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TestWorkstationBatch::batchLeavesExactFiles_data()
{
    QTest::addColumn<int>("lights");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<bool>("pictures");
    QTest::newRow("12 controllers") << 12 << 7u << true;
    QTest::newRow("20 controllers, other data") << 20 << 3u << false;
}

void TestWorkstationBatch::batchLeavesExactFiles()
{
    QFETCH(int, lights);
    QFETCH(quint32, seed);
    QFETCH(bool, pictures);
    QTemporaryDir data;
    QVERIFY(data.isValid());

    QStringList args{QStringLiteral("--lights"), QString::number(lights),
                     QStringLiteral("--seed"),   QString::number(seed),
                     QStringLiteral("--data"),   data.path(),
                     QStringLiteral("--plugin"), qEnvironmentVariable("DQ_PLUGIN_DIR")};
    if (!pictures)
        args << QStringLiteral("--no-pictures");
    QString output;
    QVERIFY2(runBatch(args, &output) == 0, qPrintable(output));
    QVERIFY(output.contains(QLatin1String("phase 1:")));
    QVERIFY(output.contains(QLatin1String("Summary")));
    QVERIFY(!output.contains(QLatin1String("MISMATCH")));
    // A download that failed as expected left no file, and the summary names none.
    for (const QString& row : summaryRows(output))
        if (row.contains(QLatin1String("failed as expected")))
            QVERIFY2(row.contains(QRegularExpression(QStringLiteral(" - +failed as expected"))),
                     qPrintable(row));

    // Every file, and only those, that the controllers and the storage hold.
    const QMap<QString, QByteArray> expected = SimulatedFleet::expectedFinalFiles(lights, seed);
    QMap<QString, QByteArray> found;
    for (const QString& sub : {QStringLiteral("configs"), QStringLiteral("journals")}) {
        const QDir dir(QDir(data.path()).absoluteFilePath(sub));
        for (const QString& name :
             dir.entryList({QStringLiteral("Jrn*.bin"), QStringLiteral("dat*.cnf"),
                            QStringLiteral("dat*.json")},
                           QDir::Files)) {
            QFile f(dir.absoluteFilePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            found.insert(name, f.readAll());
        }
    }
    QCOMPARE(found.keys(), expected.keys());
    for (auto it = expected.begin(); it != expected.end(); ++it)
        QVERIFY2(found.value(it.key()) == it.value(), qPrintable(it.key()));

    // One decoded journal of each family lies next to the journal files.
    const QDir journals(QDir(data.path()).absoluteFilePath(QStringLiteral("journals")));
    QCOMPARE(journals.entryList({QStringLiteral("Jrn*.txt")}, QDir::Files).size(), 6);
    for (const QString& name : journals.entryList({QStringLiteral("Jrn*.txt")}, QDir::Files))
        QVERIFY(QFileInfo(journals.absoluteFilePath(name)).size() > 200);

    if (pictures) {
        for (const char* name :
             {"journal-queue.png", "config-queue.png", "journal-view.png", "workstation.png"}) {
            const QImage image(
                QDir(data.path())
                    .absoluteFilePath(QStringLiteral("pictures/") + QLatin1String(name)));
            QVERIFY2(!image.isNull() && image.width() > 200 && image.height() > 100, name);
        }
    }
}

void TestWorkstationBatch::unexpectedOutcomesComeFirst_data()
{
    QTest::addColumn<bool>("problemsOnly");
    QTest::newRow("whole summary") << false;
    QTest::newRow("--problems-only") << true;
}

void TestWorkstationBatch::unexpectedOutcomesComeFirst()
{
    QFETCH(bool, problemsOnly);
    QTemporaryDir data;
    QVERIFY(data.isValid());
    // A directory where controller 1004's journal file belongs: the module cannot save it.
    QVERIFY(QDir(data.path()).mkpath(QStringLiteral("journals/Jrn01004.bin")));
    QStringList args{QStringLiteral("--lights"),
                     QStringLiteral("8"),
                     QStringLiteral("--no-pictures"),
                     QStringLiteral("--data"),
                     data.path(),
                     QStringLiteral("--plugin"),
                     qEnvironmentVariable("DQ_PLUGIN_DIR")};
    if (problemsOnly)
        args << QStringLiteral("--problems-only");
    QString output;
    QCOMPARE(runBatch(args, &output), 1);

    const QStringList rows = summaryRows(output);
    QVERIFY2(!rows.isEmpty(), qPrintable(output));
    QVERIFY2(rows.first().startsWith(QLatin1String("1004 ")), qPrintable(output));
    QVERIFY2(rows.first().contains(QRegularExpression(QStringLiteral(" - +FAILED: "))),
             qPrintable(rows.first()));
    const int shown = int(std::count_if(rows.begin(), rows.end(), [](const QString& row) {
        return row.contains(QRegularExpression(QStringLiteral(" ok$")));
    }));
    QCOMPARE(shown == 0, problemsOnly);
    QVERIFY2(output.contains(QLatin1String(" downloads as expected, 1 not;")), qPrintable(output));
}

void TestWorkstationBatch::modulePath_data()
{
    QTest::addColumn<QString>("workingDir");
    QTest::addColumn<QString>("plugin");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said"); // a part of the output
    const QFileInfo dir(qEnvironmentVariable("DQ_PLUGIN_DIR"));
    QTest::newRow("missing file") << QString()
                                  << dir.absoluteFilePath() + QStringLiteral("/none.so") << 2
                                  << QStringLiteral(
                                         "module was not found. Tried:\n  %1/none.so (missing)")
                                         .arg(dir.absoluteFilePath());
    // Relative to the current directory, not to the library search path.
    QTest::newRow("relative directory") << dir.absolutePath() << dir.fileName() << 0
                                        << QStringLiteral("2 of 2 downloads as expected");
}

void TestWorkstationBatch::modulePath()
{
    QFETCH(QString, workingDir);
    QFETCH(QString, plugin);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    QTemporaryDir data;
    QString output;
    QCOMPARE(
        runBatch({QStringLiteral("--lights"), QStringLiteral("1"), QStringLiteral("--no-pictures"),
                  QStringLiteral("--data"), data.path(), QStringLiteral("--plugin"), plugin},
                 &output, workingDir),
        exitCode);
    QVERIFY2(output.contains(said), qPrintable(output));
}

void TestWorkstationBatch::badValueEndsAtOnce()
{
    // The values themselves are checked in tst_workstationoptions; here only
    // that the program says so and stops before running anything.
    QTemporaryDir data; // where a batch that ran anyway would write
    QString output;
    QCOMPARE(runBatch({QStringLiteral("--lights"), QStringLiteral("abc"), QStringLiteral("--data"),
                       data.path()},
                      &output),
             2);
    QCOMPARE(output.trimmed(), QStringLiteral("dq-workstation: --lights: 'abc' is not a whole "
                                              "number from 1 to 2000"));
}

QTEST_GUILESS_MAIN(TestWorkstationBatch)
#include "tst_workstation_batch.moc"
