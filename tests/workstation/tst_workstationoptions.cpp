#include "workstation/workstationoptions.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

// The workstation's command line: a value that is not what the option takes
// stops the program with a message instead of running with another one.
class TestWorkstationOptions : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void numbers_data();
    void numbers();
    void defaults();
    void dataDirectory_data();
    void dataDirectory();

private:
    // The arguments with a data directory of the test's own.
    QStringList withData(const QStringList& args) const
    {
        return QStringList{QStringLiteral("dq-workstation"), QStringLiteral("--data"),
                           m_dir.path()} +
               args;
    }

    QTemporaryDir m_dir;
};

void TestWorkstationOptions::numbers_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("valid");
    const struct
    {
        const char* option;
        qint64 low, high, valid;
    } ranges[] = {{"lights", 1, 2000, 12},
                  {"seed", 0, 0xFFFFFFFFLL, 0xFFFFFFFFLL},
                  {"timeout", 5, 86400, 5},
                  {"grow-seconds", 0, 86400, 0},
                  {"quit-after", 0, 86400000, 1500}};
    for (const auto& r : ranges) {
        const auto row = [&](const char* what, const QString& value, bool valid) {
            QTest::addRow("%s %s", r.option, what)
                << QString::fromLatin1(r.option) << value << valid;
        };
        row("valid", QString::number(r.valid), true);
        row("text", QStringLiteral("abc"), false);
        row("zero", QStringLiteral("0"), r.low == 0);
        row("negative", QStringLiteral("-5"), false);
        row("too large", QString::number(r.high + 1), false);
    }
    // Beyond what an int holds: not cut down to some other number.
    QTest::newRow("lights beyond int") << "lights"
                                       << "99999999999" << false;
}

void TestWorkstationOptions::numbers()
{
    QFETCH(QString, option);
    QFETCH(QString, value);
    QFETCH(bool, valid);
    WorkstationOptions options;
    const bool ok = options.parse(withData({QStringLiteral("--batch"), "--" + option, value}));
    QVERIFY2(ok == valid, qPrintable(options.errorText()));
    if (!valid) {
        QVERIFY2(options.errorText().startsWith(
                     QStringLiteral("--%1: '%2' is not a whole number").arg(option, value)),
                 qPrintable(options.errorText()));
        return;
    }
    const QMap<QString, qint64> read{{QStringLiteral("lights"), options.lights()},
                                     {QStringLiteral("seed"), options.seed()},
                                     {QStringLiteral("timeout"), options.timeoutSeconds()},
                                     {QStringLiteral("grow-seconds"), options.growSeconds()},
                                     {QStringLiteral("quit-after"), options.quitAfterMs()}};
    QCOMPARE(read.value(option), value.toLongLong());
}

void TestWorkstationOptions::defaults()
{
    WorkstationOptions batch, window;
    QVERIFY2(batch.parse(withData({QStringLiteral("--batch")})), qPrintable(batch.errorText()));
    QVERIFY2(window.parse(withData({})), qPrintable(window.errorText()));
    QCOMPARE(batch.lights(), 40);
    QCOMPARE(window.lights(), 18);
    QCOMPARE(batch.seed(), 7u);
    QCOMPARE(batch.timeoutSeconds(), 180);
    QCOMPARE(window.growSeconds(), 20);
    // The message the operator reads, in full once.
    QVERIFY(!window.parse(withData({QStringLiteral("--lights"), QStringLiteral("abc")})));
    QCOMPARE(window.errorText(),
             QStringLiteral("--lights: 'abc' is not a whole number from 1 to 2000"));
}

void TestWorkstationOptions::dataDirectory_data()
{
    QTest::addColumn<QString>("data"); // under the test's directory, or absolute
    QTest::addColumn<QString>("error");
    QTest::newRow("made") << "a/b" << QString();
    // Not even root can make a directory under a file.
    const QString file = QCoreApplication::applicationFilePath();
    QTest::newRow("under a file")
        << file + "/data"
        << QStringLiteral("--data: cannot make the directory '%1/data/configs'").arg(file);
}

void TestWorkstationOptions::dataDirectory()
{
    QFETCH(QString, data);
    QFETCH(QString, error);
    const QString path = QDir(m_dir.path()).absoluteFilePath(data);
    WorkstationOptions options;
    QCOMPARE(options.parse({QStringLiteral("dq-workstation"), QStringLiteral("--data"), path}),
             error.isEmpty());
    QCOMPARE(options.errorText(), error);
    if (!error.isEmpty())
        return;
    QCOMPARE(options.dataDir(), path);
    for (const char* sub : {"configs", "journals"})
        QVERIFY(QFileInfo(QDir(path).absoluteFilePath(QLatin1String(sub))).isDir());
    // The check leaves nothing behind.
    QCOMPARE(
        QDir(path + "/configs").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        QStringList());
}

QTEST_GUILESS_MAIN(TestWorkstationOptions)
#include "tst_workstationoptions.moc"
