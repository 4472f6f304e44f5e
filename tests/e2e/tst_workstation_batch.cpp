#include "host/simulatedfleet.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// Runs the workstation's headless batch as a user would and checks what it
// leaves on disk against the simulated controllers and the storage, byte for byte.
class TestWorkstationBatch : public QObject
{
    Q_OBJECT

private slots:
    void batchLeavesExactFiles_data();
    void batchLeavesExactFiles();
    void missingModuleIsReported();

private:
    QString workstation() const
    {
        return QDir(QCoreApplication::applicationDirPath())
            .absoluteFilePath(QStringLiteral("dq-workstation"));
    }
};

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

    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QStringList args{QStringLiteral("--batch"),
                     QStringLiteral("--lights"),
                     QString::number(lights),
                     QStringLiteral("--seed"),
                     QString::number(seed),
                     QStringLiteral("--data"),
                     data.path(),
                     QStringLiteral("--plugin"),
                     qEnvironmentVariable("DQ_PLUGIN_DIR")};
    if (!pictures)
        args << QStringLiteral("--no-pictures");
    p.start(workstation(), args);
    QVERIFY2(p.waitForFinished(240000), "batch did not finish");
    const QString output = QString::fromUtf8(p.readAll());
    QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, qPrintable(output));
    QVERIFY(output.contains(QLatin1String("phase 1:")));
    QVERIFY(output.contains(QLatin1String("Summary")));
    QVERIFY(!output.contains(QLatin1String("MISMATCH")));

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

void TestWorkstationBatch::missingModuleIsReported()
{
    QTemporaryDir data;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(workstation(), {QStringLiteral("--batch"), QStringLiteral("--data"), data.path(),
                            QStringLiteral("--plugin"), data.filePath(QStringLiteral("none.so"))});
    QVERIFY(p.waitForFinished(30000));
    QVERIFY(p.exitCode() != 0);
    QVERIFY(QString::fromUtf8(p.readAll()).contains(QLatin1String("module was not found")));
}

QTEST_GUILESS_MAIN(TestWorkstationBatch)
#include "tst_workstation_batch.moc"
