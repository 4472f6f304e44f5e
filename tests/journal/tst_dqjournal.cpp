#include "journal/journalviewdlg.h"
#include "savedialogdriver.h"
#include "viewerfixtures.h"

#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace ViewerFixtures;

// dq-journal must write what the viewer's save writes for a freshly opened journal.
class TestDqJournal : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameBytesAsViewerSave_data();
    void sameBytesAsViewerSave();
    void errors_data();
    void errors();
    void help();

private:
    struct Run
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    Run run(const QStringList& args) const;
    QByteArray viewerSave(const QByteArray& data, const QString& mesPath, const QString& filter);

    QString m_tool;
    QTemporaryDir m_dir;
    SaveDialogDriver m_driver;
    int m_saves = 0;
};

void TestDqJournal::initTestCase()
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QVERIFY(m_dir.isValid());
    m_tool = QCoreApplication::applicationDirPath() + QStringLiteral("/dq-journal");
    QVERIFY2(QFileInfo(m_tool).isExecutable(), qPrintable(m_tool));
}

TestDqJournal::Run TestDqJournal::run(const QStringList& args) const
{
    QProcess p;
    p.start(m_tool, args);
    Run r;
    if (!p.waitForFinished(60000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QByteArray TestDqJournal::viewerSave(const QByteArray& data, const QString& mesPath,
                                     const QString& filter)
{
    JournalViewDlg dlg(nullptr, data, mesPath, m_dir.path());
    const QString path = m_dir.filePath(QStringLiteral("saved%1").arg(++m_saves));
    m_driver.answer(path, filter);
    QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("saveButton")), Qt::LeftButton);
    return readFile(path);
}

void TestDqJournal::sameBytesAsViewerSave_data()
{
    QTest::addColumn<QByteArray>("journal");
    QTest::addColumn<QString>("mesPath"); // the viewer's; empty for a text journal
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("filter");

    const QString text = QStringLiteral("Text files (*.txt)");
    const QString csv = QStringLiteral("csv files (*.csv)");
    for (int gen = 314; gen <= 317; ++gen) {
        // An oldest-first journal, ending in erased space, with records from
        // every source and code.
        QByteArray data = binaryJournal(20, gen % 2 == 0, quint32(gen));
        data += QByteArray(96, char(0xFF));
        const QString mes = QStringLiteral(":/mes_files/Notepad.mes.%1").arg(gen);
        const QStringList g{"-g", QString::number(gen)};
        QTest::addRow("%d text", gen) << data << mes << g << text;
        QTest::addRow("%d csv", gen) << data << mes << (g + QStringList{"--format", "csv"}) << csv;
    }
    QTest::newRow("default generation is 317")
        << binaryJournal(3, true, 1) << ":/mes_files/Notepad.mes.317" << QStringList() << text;

    QByteArray lines;
    QRandomGenerator rng(5);
    for (int i = 0; i < 500; ++i)
        lines +=
            textLine(QStringLiteral("%1.03.21").arg(rng.bounded(1, 29), 2, 10, QLatin1Char('0')),
                     QStringLiteral("10:%1:00").arg(rng.bounded(60), 2, 10, QLatin1Char('0')),
                     i % 3 ? "I" : "E", QString::number(i % 9),
                     QStringLiteral("Сообщение; номер %1").arg(i));
    QTest::newRow("text journal, text") << lines << QString() << QStringList{"--text"} << text;
    QTest::newRow("text journal, csv")
        << lines << QString() << QStringList{"-t", "-f", "csv"} << csv;
}

void TestDqJournal::sameBytesAsViewerSave()
{
    QFETCH(QByteArray, journal);
    QFETCH(QString, mesPath);
    QFETCH(QStringList, args);
    QFETCH(QString, filter);
    const QString input = m_dir.filePath(QStringLiteral("Jrn%1.bin").arg(QTest::currentDataTag()));
    QVERIFY(writeFile(input, journal));

    const QByteArray expected = viewerSave(journal, mesPath, filter);
    QVERIFY(m_driver.seen);
    QVERIFY(expected.count('\n') > 3);

    const Run toStdout = run(args + QStringList{input});
    QCOMPARE(toStdout.exitCode, 0);
    QCOMPARE(toStdout.err, QByteArray());
    QCOMPARE(toStdout.out, expected);

    const QString output = input + QStringLiteral(".out");
    const Run toFile = run(args + QStringList{"-o", output, input});
    QCOMPARE(toFile.exitCode, 0);
    QCOMPARE(toFile.out, QByteArray());
    QCOMPARE(readFile(output), expected);
}

void TestDqJournal::errors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const QString journal = m_dir.filePath("errors.bin");
    writeFile(journal, record(1, 1, 1, 1, 1, 1, 1));
    QTest::newRow("no file") << QStringList{} << "no journal file";
    QTest::newRow("missing file") << QStringList{m_dir.filePath("none.bin")} << "no such file";
    QTest::newRow("directory") << QStringList{m_dir.path()} << "cannot read";
    QTest::newRow("generation 318") << QStringList{"-g", "318", journal} << "unknown generation";
    QTest::newRow("generation text")
        << QStringList{"--generation=abc", journal} << "unknown generation";
    QTest::newRow("bad option") << QStringList{"--bogus", journal} << "bogus";
    QTest::newRow("bad format") << QStringList{"-f", "xml", journal} << "unknown format";
    QTest::newRow("missing definitions")
        << QStringList{"-m", m_dir.filePath("none.mes"), journal} << "message definitions";
    QTest::newRow("two files") << QStringList{journal, journal} << "exactly one";
    QTest::newRow("unwritable output")
        << QStringList{"-o", m_dir.filePath("no/such/dir/out.txt"), journal} << "cannot write";
}

void TestDqJournal::errors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const Run r = run(args);
    QVERIFY(r.exitCode > 0);
    QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
    QCOMPARE(r.out, QByteArray());
}

void TestDqJournal::help()
{
    const Run r = run({"--help"});
    QCOMPARE(r.exitCode, 0);
    for (const char* option : {"--generation", "--text", "--messages", "--format", "--output"})
        QVERIFY2(r.out.contains(option), option);
}

QTEST_MAIN(TestDqJournal)
#include "tst_dqjournal.moc"
