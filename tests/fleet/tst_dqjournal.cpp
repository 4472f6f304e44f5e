#include "core/downloadfile.h"
#include "journal/journaldecoder.h"
#include "journal/journalviewdlg.h"
#include "journal/messagedefinitionparser.h"
#include "tests/journal/savedialogdriver.h"
#include "tests/journal/viewerfixtures.h"
#include "tests/specialfiles.h"

#include <QJsonDocument>
#include <QJsonObject>
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
    void outputToSpecialFiles_data();
    void outputToSpecialFiles();
    void outputThroughOwnDescriptors_data();
    void outputThroughOwnDescriptors();
    void outOfMemoryIsAnError();
    void help();
    void manyJournals_data();
    void manyJournals();

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
    keepSettingsIn(m_dir.path());
    m_tool = QStandardPaths::findExecutable(QStringLiteral("dq-journal"),
                                            {QCoreApplication::applicationDirPath()});
    QVERIFY2(!m_tool.isEmpty(), qPrintable(QCoreApplication::applicationDirPath()));
}

TestDqJournal::Run TestDqJournal::run(const QStringList& args) const
{
    QProcess p;
    p.setWorkingDirectory(m_dir.path()); // where a stray relative name would land
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
    JournalViewDlg dlg(nullptr, data, m_dir.path());
    dlg.load(mesPath);
    const QString path = m_dir.filePath(QStringLiteral("saved%1.out").arg(++m_saves));
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
    // A block stored oldest first over New Year, then blocks newest first.
    QByteArray newYear = record(12, 31, 23, 59, 55, 1, 3) + record(1, 1, 0, 0, 5, 1, 4) +
                         record(1, 1, 0, 0, 9, 1, 5);
    newYear += QByteArray(72, '\0') + binaryJournal(2, false, 9);
    QTest::newRow("new year") << newYear << ":/mes_files/Notepad.mes.317"
                              << QStringList{"-g", "317"} << text;
    // No format given: the controller's type from the workstation's list beside the journal.
    QVERIFY(writeFile(m_dir.filePath("controllers.txt"), "77;Вегал V3.15\n"));
    QTest::newRow("00077") << binaryJournal(3, true, 1) << ":/mes_files/Notepad.mes.315"
                           << QStringList() << text;

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
    QVERIFY2(expected.count('\n') > 3, expected.constData());

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
        << QStringList{"-g", "317", "-o", m_dir.filePath("no/such/dir/out.txt"), journal}
        << "cannot write";
    // Never a guess: no format given and none known for the journal.
    QTest::newRow("format not known")
        << QStringList{journal} << "the journal's format is not known";
    // Decoded in the format given, but most of it has no time there.
    const QString lines = m_dir.filePath("lines.bin");
    QVERIFY(writeFile(lines, textLine("22.11.26", "10:00:00", "I", "1", "a") +
                                 textLine("22.11.26", "10:00:01", "I", "1", "b")));
    QTest::newRow("text given as binary")
        << QStringList{"-g", "314", "-o", m_dir.filePath("x.txt"), lines}
        << "is it a text one (-t)?";
    QTest::newRow("binary given as text")
        << QStringList{"-t", "-o", m_dir.filePath("y.txt"), journal} << "is it a binary one (-g)?";
    // An output that is an input, however named, is refused before anything is written.
    const QString fleet = m_dir.filePath("fleet");
    QVERIFY(QDir().mkpath(fleet));
    QVERIFY(writeFile(fleet + "/Jrn00001.bin", record(1, 1, 1, 1, 1, 1, 1)));
    QVERIFY(QFile::link(journal, m_dir.filePath("link.bin")));
    QTest::newRow("output is the input")
        << QStringList{"-o", journal, journal} << "the output is the input";
    QTest::newRow("output is the input through a link")
        << QStringList{"-o", m_dir.filePath("link.bin"), journal} << "the output is the input";
    QTest::newRow("output is a journal of the input directory")
        << QStringList{"-v", "317", "-o", fleet + "/../fleet/Jrn00001.bin", fleet}
        << "the output is the input";

    // Files that never end, never open or are larger than any journal.
    const QString fifo = m_dir.filePath("fifo");
    const QString zero = m_dir.filePath("zero");
    const QString large = m_dir.filePath("large.bin");
    const QString largeMes = m_dir.filePath("large.mes");
    const bool unix = !SpecialFiles::unsupported(SpecialFiles::Fifo);
    QVERIFY(!unix || SpecialFiles::make(SpecialFiles::Fifo, fifo));
    QVERIFY(!unix || SpecialFiles::make(SpecialFiles::LinkToZero, zero));
    QVERIFY(SpecialFiles::make(SpecialFiles::Sparse, large, {}, DownloadFile::maxSize + 1));
    QVERIFY(SpecialFiles::make(SpecialFiles::Sparse, largeMes, {},
                               MessageDefinitionParser::maxFileSize + 1));
    QTest::newRow("journal FIFO") << QStringList{fifo} << "not a regular file";
    QTest::newRow("journal link to /dev/zero") << QStringList{zero} << "not a regular file";
    QTest::newRow("journal past the ceiling") << QStringList{large} << "larger than 16 MiB";
    QTest::newRow("definitions FIFO")
        << QStringList{"-m", fifo, journal} << "message definitions: not a regular file";
    // Windows takes NUL for no file at all: refused all the same.
    QTest::newRow("definitions device") << QStringList{"-m", SpecialFiles::device(), journal}
                                        << (SpecialFiles::unsupported(SpecialFiles::NullDevice)
                                                ? "message definitions: no such file"
                                                : "message definitions: not a regular file");
    QTest::newRow("definitions past the ceiling")
        << QStringList{"-m", largeMes, journal} << "message definitions: larger than 4 MiB";

    // Every record's text as long as one may be, one record more than the bound holds.
    const QString longMes = m_dir.filePath("long.mes");
    const QString manyRecords = m_dir.filePath("many.bin");
    QVERIFY(writeFile(longMes, definitionFile({{2, QString(MessageTemplate::MaxExpandedLength + 1,
                                                           QLatin1Char('m'))}})));
    QVERIFY(writeFile(manyRecords, record(3, 5, 7, 8, 9, 1, 2)
                                       .repeated(int(JournalDecoder::MaxMessageText /
                                                     MessageTemplate::MaxExpandedLength) +
                                                 1)));
    QTest::newRow("messages past the bound")
        << QStringList{"-m", longMes, manyRecords}
        << QStringLiteral("the messages come to more than %1 characters")
               .arg(JournalDecoder::MaxMessageText);
}

void TestDqJournal::errors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QString fifo;
    for (const QString& arg : args) {
        if (arg.endsWith(QLatin1String("/fifo")) || arg.endsWith(QLatin1String("/zero")))
            SPECIALFILES_SKIP_IF(SpecialFiles::unsupported(SpecialFiles::Fifo));
        if (arg.endsWith(QLatin1String("/link.bin")))
            SPECIALFILES_SKIP_IF(SpecialFiles::unsupported(SpecialFiles::LinkToRegular));
        if (SpecialFiles::kindAt(arg) == S_IFIFO)
            fifo = arg;
    }
    const SpecialFiles::FifoGuard guard(fifo);
    // A failing run changes none of its files.
    QMap<QString, QByteArray> before;
    for (const QString& arg : args)
        if (QFileInfo(arg).isFile() && QFileInfo(arg).size() < 4096)
            before.insert(arg, readFile(arg));
    const Run r = run(args);
    QVERIFY(!guard.fired());
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QCOMPARE(readFile(it.key()), it.value());
    QCOMPARE(r.exitCode, 2); // as grep's for any error
    QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
    QCOMPARE(r.out, QByteArray());
}

void TestDqJournal::outputToSpecialFiles_data()
{
    QTest::addColumn<QString>("output"); // a name in the scratch directory, or as given
    QTest::addColumn<int>("kind");       // made there first; -1: nothing
    QTest::addColumn<bool>("toStdout");
    QTest::newRow("-") << "-" << -1 << true;
    QTest::newRow("/dev/stdout") << "/dev/stdout" << -1 << true;
    QTest::newRow("FIFO") << "out.fifo" << int(SpecialFiles::Fifo) << false;
    QTest::newRow("device") << "out.null" << int(SpecialFiles::NullDevice) << false;
    QTest::newRow("link to a device") << "out.link" << int(SpecialFiles::NullDevice) << false;
#ifdef Q_OS_WIN
    QTest::newRow("reserved device name") << "NUL" << -1 << false;
#endif
}

// A device or FIFO is written straight through and stays what it is.
void TestDqJournal::outputToSpecialFiles()
{
    QFETCH(QString, output);
    QFETCH(int, kind);
    QFETCH(bool, toStdout);
    if (output.startsWith(QLatin1String("/dev/")))
        SPECIALFILES_SKIP_IF(SpecialFiles::unsupported(SpecialFiles::NullDevice));
    const QString input = m_dir.filePath("small.bin");
    QVERIFY(writeFile(input, binaryJournal(1, true, 3)));
    const QByteArray expected = run({"-g", "317", input}).out;
    QVERIFY2(expected.count('\n') > 3, expected.constData());

    const QString path = kind >= 0 ? m_dir.filePath(output) : output;
    if (kind >= 0) {
        SPECIALFILES_SKIP_IF(SpecialFiles::unsupported(SpecialFiles::Kind(kind)));
        QFile::remove(path);
        QFile::remove(SpecialFiles::targetOf(path));
        const bool link = output.endsWith(QLatin1String(".link"));
        const QString made = link ? SpecialFiles::targetOf(path) : path;
        if (!SpecialFiles::make(SpecialFiles::Kind(kind), made))
            QSKIP("cannot make a device node here");
        if (link)
            QVERIFY(QFile::link(made, path));
    }
    const int before = SpecialFiles::kindAt(path);
    const int targetBefore = SpecialFiles::kindAt(SpecialFiles::targetOf(path));
    // The reading end, open before the tool writes; the output fits the pipe.
#ifdef Q_OS_UNIX
    const int reader = kind == SpecialFiles::Fifo
                           ? ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK)
                           : -1;
#endif
    const Run r = run({"-g", "317", "-o", path, input});
    QByteArray piped;
#ifdef Q_OS_UNIX
    if (reader >= 0) {
        char buffer[4096];
        for (ssize_t n; (n = ::read(reader, buffer, sizeof buffer)) > 0;)
            piped.append(buffer, int(n));
        ::close(reader);
    }
#endif
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.out, toStdout ? expected : QByteArray());
    if (kind == SpecialFiles::Fifo)
        QCOMPARE(piped, expected);
    if (kind >= 0) {
        QCOMPARE(SpecialFiles::kindAt(path), before);
        QCOMPARE(SpecialFiles::kindAt(SpecialFiles::targetOf(path)), targetBefore);
    }
}

void TestDqJournal::outputThroughOwnDescriptors_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("toStderr"); // else the tool's standard output is the log
    QTest::newRow("/dev/stdout") << "/dev/stdout" << false;
    QTest::newRow("/dev/stderr") << "/dev/stderr" << true;
    QTest::newRow("/dev/fd/1") << "/dev/fd/1" << false;
    QTest::newRow("/proc/self/fd/2") << "/proc/self/fd/2" << true;
    QTest::newRow("link to /dev/stdout") << "stdout.link" << false;
}

// As "dq-journal -o /dev/stdout >> log": the log is appended to, not replaced.
void TestDqJournal::outputThroughOwnDescriptors()
{
    QFETCH(QString, output);
    QFETCH(bool, toStderr);
    SPECIALFILES_SKIP_IF(SpecialFiles::unsupported(SpecialFiles::NullDevice));
    const QString input = m_dir.filePath("small.bin");
    QVERIFY(writeFile(input, binaryJournal(1, true, 3)));
    const QByteArray expected = run({"-g", "317", input}).out;
    QVERIFY2(expected.count('\n') > 3, expected.constData());
    const QString path = output.startsWith(QLatin1Char('/')) ? output : m_dir.filePath(output);
    if (path != output) {
        QFile::remove(path);
        QVERIFY(QFile::link(QStringLiteral("/dev/stdout"), path));
    }
    const QString log = m_dir.filePath("log.txt");
    QVERIFY(writeFile(log, "earlier lines\n"));

    QProcess p;
    p.setWorkingDirectory(m_dir.path());
    if (toStderr)
        p.setStandardErrorFile(log, QIODevice::Append);
    else
        p.setStandardOutputFile(log, QIODevice::Append);
    p.start(m_tool, {"-g", "317", "-o", path, input});
    QVERIFY2(p.waitForFinished(60000), qPrintable(p.errorString()));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(readFile(log), "earlier lines\n" + expected);
}

void TestDqJournal::outOfMemoryIsAnError()
{
#ifdef __SANITIZE_ADDRESS__
    QSKIP("the sanitizer's shadow memory does not fit under a limit on the address space");
#elif !defined(Q_OS_UNIX)
    QSKIP("the address space is limited with a Unix shell's ulimit");
#endif
    // The largest journal a download holds, decoded in far less memory than it needs.
    const QString input = m_dir.filePath("largest.bin");
    QVERIFY(writeFile(input, record(3, 5, 7, 8, 9, 1, 2).repeated(DownloadFile::maxSize / 8)));
    QProcess p;
    p.start(QStringLiteral("/bin/sh"),
            {"-c", "ulimit -v 200000 && exec \"$0\" -g 317 \"$1\"", m_tool, input});
    QVERIFY2(p.waitForFinished(60000), qPrintable(p.errorString()));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 2);
    QCOMPARE(p.readAllStandardError(), QByteArray("dq-journal: out of memory\n"));
}

void TestDqJournal::help()
{
    const Run r = run({"--help"});
    QCOMPARE(r.exitCode, 0);
    for (const char* option : {"--generation", "--text", "--messages", "--format", "--output"})
        QVERIFY2(r.out.contains(option), option);
}

void TestDqJournal::manyJournals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // on standard error; empty: none
    QTest::addColumn<QString>("ids");     // the controllers of the JSON lines in order
    QTest::addColumn<QString>("out");     // or the output as it is

    // Downloaded just after a new year: the binary records carry no year.
    const QDir dir(m_dir.filePath("fleet"));
    QVERIFY(dir.mkpath("."));
    const QString written = "2026-01-01T00:30:00";
    const auto journal = [&](int id, const QByteArray& data) {
        const QString path = dir.filePath(QStringLiteral("Jrn%1.bin").arg(id, 5, 10, QChar('0')));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(data) == data.size());
        QVERIFY(f.setFileTime(QDateTime::fromString(written, Qt::ISODate),
                              QFileDevice::FileModificationTime));
    };
    journal(1, record(1, 1, 0, 10, 0, 1, 5) + record(12, 31, 23, 59, 0, 2, 6) +
                   record(12, 30, 12, 0, 0, 1, 7));
    journal(2, textLine("01.01.26", "00:05:00", "E", "5", QStringLiteral("Перегорела ЛАМПА")) +
                   textLine("31.12.25", "23:59:30", "W", "3", QStringLiteral("Дверь открыта")));
    journal(3, record(1, 1, 0, 1, 0, 1, 5));
    const QString all = m_dir.filePath("all.txt");
    const QString two = m_dir.filePath("two.txt");
    QVERIFY(writeFile(all, QStringLiteral("1;Вегал V3.17\n2;TM_HELIX\n3;Вегал V3.14\n").toUtf8()));
    QVERIFY(writeFile(two, QStringLiteral("1;Вегал V3.17\n2;TM_HELIX\n").toUtf8()));
    const QString d = dir.path();
    // A modification time at the epoch: years from today, said, nothing dropped for it.
    const QString epoch = m_dir.filePath("epoch");
    QVERIFY(QDir().mkpath(epoch));
    QVERIFY(writeFile(epoch + "/Jrn00004.bin", record(1, 2, 3, 4, 5, 1, 5)));
    QFile old(epoch + "/Jrn00004.bin");
    QVERIFY(old.open(QIODevice::ReadOnly));
    QVERIFY(old.setFileTime(QDateTime::fromSecsSinceEpoch(0), QFileDevice::FileModificationTime));
    QTest::newRow("modified at the epoch")
        << QStringList{"-v", "314", "-f", "jsonl", "--since", "01.01.2000 00:00", epoch} << 0
        << "cannot be right"
        << "4"
        << "";
    const QString oneBad = dir.filePath("one-bad.txt");
    QVERIFY(writeFile(oneBad,
                      QStringLiteral("1;Вегал V3.17\n-5\n2;TM_HELIX\n3;Вегал V3.14\n").toUtf8()));

    QTest::newRow("merged newest first; a controller not listed is skipped")
        << QStringList{"--controllers", two, "-f", "jsonl", d} << 2 << "Jrn00003.bin: skipped"
        << "1,2,2,1,1"
        << "";
    QTest::newRow("a bad line in the list costs only itself")
        << QStringList{"--controllers", oneBad, "-f", "jsonl", d} << 2 << "line 2: not"
        << "1,2,3,2,1,1"
        << "";
    QTest::newRow("oldest first") << QStringList{"--controllers", all, "--oldest-first", "-f",
                                                 "jsonl",         d}
                                  << 0 << ""
                                  << "1,1,2,3,2,1"
                                  << "";
    QTest::newRow("a night's search, several texts") << QStringList{"--controllers",
                                                                    all,
                                                                    "--since",
                                                                    "31.12.25 23:59:10",
                                                                    "--until",
                                                                    "01.01.26 00:05",
                                                                    "--grep",
                                                                    "лампа",
                                                                    "--grep",
                                                                    "ДВЕРЬ",
                                                                    "-f",
                                                                    "jsonl",
                                                                    d}
                                                     << 0 << ""
                                                     << "2,2"
                                                     << "";
    // A search is tried on each distinct message once, and on every record's time.
    QTest::newRow("a time searched")
        << QStringList{"-v", "317", "--grep", "23:59", "-f", "jsonl", dir.filePath("Jrn00001.bin")}
        << 0 << ""
        << "1"
        << "";
    // One message from three sources, the debug one (whose records show no message) among them:
    // what a search takes depends on the source too.
    const QString kinds = m_dir.filePath("kinds/Jrn00006.bin");
    QVERIFY(QDir().mkpath(m_dir.filePath("kinds")));
    QVERIFY(writeFile(kinds, record(5, 1, 10, 0, 0, 1, 5, 3, 1) +
                                 record(5, 1, 9, 0, 0, 3, 5, 3, 1) +
                                 record(5, 1, 8, 0, 0, 31, 5, 3, 1)));
    QTest::newRow("a source searched")
        << QStringList{"-v", "317", "--grep", "асудд", "-f", "jsonl", kinds} << 0 << ""
        << "6"
        << "";
    QTest::newRow("one message from several sources")
        << QStringList{"-v", "317", "--grep", "Несовместимая", "-f", "jsonl", kinds} << 0 << ""
        << "6,6"
        << "";
    QTest::newRow("a type") << QStringList{"--controllers", all, "--type", "E", "-f", "jsonl", d}
                            << 0 << ""
                            << "2"
                            << "";
    QTest::newRow("nothing matches: no header either")
        << QStringList{"--controllers", all, "--grep", "nowhere", d} << 1 << ""
        << ""
        << "";
    QTest::newRow("a type but E, W and I is an error")
        << QStringList{"--controllers", all, "--type", "X", d} << 2 << "--type \"X\""
        << ""
        << "";
    QTest::newRow("a missing file among others")
        << QStringList{"--controllers", all, "-f", "jsonl", d, dir.filePath("Jrn00009.bin")} << 2
        << "Jrn00009.bin: no such file"
        << "1,2,3,2,1,1"
        << "";
    QTest::newRow("one version for all") << QStringList{"-v",
                                                        "317",
                                                        "-f",
                                                        "jsonl",
                                                        dir.filePath("Jrn00001.bin"),
                                                        dir.filePath("Jrn00003.bin")}
                                         << 0 << ""
                                         << "1,3,1,1"
                                         << "";
    QTest::newRow("counts") << QStringList{"--controllers", all, "--count", "--grep", "0", d} << 0
                            << ""
                            << ""
                            << "1      3\n2      2\n3      1\nTotal  6\n";
    // Only the controllers with a match, unless all are asked for.
    QTest::newRow("counts of a rarer text")
        << QStringList{"--controllers", all, "--count", "--grep", "лампа", d} << 0 << ""
        << ""
        << "2      1\nTotal  1\n";
    QTest::newRow("counts of all")
        << QStringList{"--controllers", all, "--count", "--all", "--grep", "лампа", d} << 0 << ""
        << ""
        << "1      0\n2      1\n3      0\nTotal  1\n";
    // Broken links are each told; a name is told escaped, on one line. (Not
    // on Windows: no symbolic links, no control characters in file names.)
    if (!SpecialFiles::unsupported(SpecialFiles::DanglingLink)) {
        const QString odd = dir.filePath("odd");
        QVERIFY(QDir().mkpath(odd));
        QVERIFY(QFile::link(dir.filePath("gone"), odd + "/Jrn00008.bin"));
        QVERIFY(QFile::link(dir.filePath("gone"), odd + "/Jrn00009.bin"));
        QVERIFY(writeFile(odd + "/Jrn\n\x1b[2J00010.bin", QByteArray()));
        QTest::newRow("broken links, a hostile name")
            << QStringList{"-v", "317", odd} << 2 << "Jrn\\x0a\\x1b[2J00010.bin: skipped"
            << ""
            << "";
        QTest::newRow("broken links, the second told too")
            << QStringList{"-v", "317", odd} << 2 << "Jrn00009.bin: cannot read"
            << ""
            << "";
    }
    QTest::newRow("a bad option is an error")
        << QStringList{"-v", "317", "--bogus", d} << 2 << "bogus"
        << ""
        << "";
}

// dq-journal over a directory: each journal in its controller's format, the
// records merged by time over a new year, exit statuses as grep's.
void TestDqJournal::manyJournals()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(QString, ids);
    QFETCH(QString, out);
    const Run r = run(args);
    QCOMPARE(r.exitCode, exitCode);
    if (message.isEmpty())
        QCOMPARE(r.err, QByteArray());
    else
        QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
    if (!args.contains("jsonl")) {
        QCOMPARE(QString::fromUtf8(r.out), out);
        return;
    }
    QStringList got;
    for (const QByteArray& line : r.out.split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        got << QString::number(o.value("controller").toInt());
        // The year of a binary record is the download's, or the one before.
        if (o.value("time").toString() == "01.01 00:10:00")
            QCOMPARE(o.value("isoTime").toString(), QString("2026-01-01T00:10:00"));
        if (o.value("time").toString() == "31.12 23:59:00")
            QCOMPARE(o.value("isoTime").toString(), QString("2025-12-31T23:59:00"));
    }
    QCOMPARE(got.join(','), ids);
}

QTEST_MAIN(TestDqJournal)
#include "tst_dqjournal.moc"
