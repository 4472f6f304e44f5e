// Measures dq-journal over a directory of full-size binary journals (344
// blocks, 33 KB each) against running dq-journal once per file: wall time and
// peak resident memory, for all records (to /dev/null) and for a rare
// --grep. Beside them, the floors of the same work: reading the journals'
// bytes, and grep -c for the rare text over the journals already decoded to
// text (all their records as the tool writes them, made before, not timed).
//
// Usage: bench-fleet [--journals 1000,10000] [--no-per-file] [--fleet DIR]

#include "bench/scratchdir.h"
#include "fleet/controllerlist.h"
#include "host/controllerdata.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

using namespace ControllerData;

namespace {

// An undefined code with parameters the generator never writes: its
// hexadecimal text is the rare thing searched for.
constexpr char RareText[] = "07h 07h 07h";
constexpr int RareEvery = 50; // one journal in this many holds one such record
constexpr int JournalRecords = MaxBinaryBlocks * BinaryBlockSize / RecordSize;

QTextStream& out()
{
    static QTextStream s(stdout);
    return s;
}

int undefinedCode()
{
    QSet<int> used;
    for (int v = 314; v <= 317; ++v)
        for (int c : messageCodes(v))
            used.insert(c);
    for (int c = 255; c > 0; --c)
        if (!used.contains(c))
            return c;
    return 0;
}

// Full-size journals of all four generations and the controller list; false
// with the reason in error when the list was not written.
bool makeFleet(const QString& dir, int count, QString* error)
{
    const int rare = undefinedCode();
    ControllerList::Entries controllers;
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = 0; i < count; ++i) {
        const int id = i + 1;
        const Family family = Family(i % 4);
        QRandomGenerator rng{quint32(id)};
        QDateTime oldest;
        QByteArray data = binaryRecords(rng, journalVersion(family), JournalRecords,
                                        now.addSecs(-i % 3600), &oldest);
        if (i % RareEvery == 0) {
            char* r = data.data() + RecordSize * int(rng.bounded(JournalRecords));
            r[4] = char(rare);
            r[5] = r[6] = r[7] = 7;
        }
        QFile f(QDir(dir).filePath(journalFileName(id)));
        f.open(QIODevice::WriteOnly);
        f.write(data);
        controllers.append({id, typeFor(family)});
    }
    return ControllerList::write(QDir(dir).filePath(QStringLiteral("controllers.txt")), controllers,
                                 error);
}

struct Result
{
    double seconds = 0;
    long peakKiB = 0;
    int processes = 0;
    bool ok = true;
};

// Runs the tool once, its output to outPath; wall time and the peak resident
// memory of that process alone.
Result runOnce(const QString& tool, const QStringList& args, const QString& outPath)
{
    Result r;
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(tool));
    for (const QString& a : args)
        storage.push_back(a.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    const QByteArray outName = QFile::encodeName(outPath);
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(outName.constData(), "w", stdout))
            _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    r.seconds = clock.nsecsElapsed() / 1e9;
    r.peakKiB = usage.ru_maxrss;
    r.processes = 1;
    // 0: something matched; 1: nothing did. Both are runs that worked.
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) <= 1;
    return r;
}

Result runPerFile(const QString& tool, const QStringList& args, const QStringList& files,
                  const QString& outPath)
{
    Result total;
    QElapsedTimer clock;
    clock.start();
    for (const QString& f : files) {
        const Result r = runOnce(tool, args + QStringList{f}, outPath);
        total.peakKiB = qMax(total.peakKiB, r.peakKiB);
        total.ok = total.ok && r.ok;
        ++total.processes;
    }
    total.seconds = clock.nsecsElapsed() / 1e9;
    return total;
}

qint64 lineCount(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    qint64 lines = 0;
    while (!f.atEnd()) {
        const QByteArray chunk = f.read(1 << 20);
        lines += chunk.count('\n');
    }
    return lines;
}

// The floor of reading: every journal's bytes read once, in this process.
Result readAll(const QStringList& files)
{
    Result r;
    QElapsedTimer clock;
    clock.start();
    qint64 bytes = 0;
    for (const QString& name : files) {
        QFile f(name);
        r.ok = r.ok && f.open(QIODevice::ReadOnly);
        bytes += f.readAll().size();
    }
    r.seconds = clock.nsecsElapsed() / 1e9;
    r.ok = r.ok && bytes > 0;
    return r;
}

void report(const char* what, const Result& r, qint64 lines)
{
    out() << QStringLiteral("  %1 %2 s  %3 MiB peak  %4 process(es)  %5 lines%6\n")
                 .arg(QLatin1String(what), -34)
                 .arg(r.seconds, 8, 'f', 2)
                 .arg(r.peakKiB / 1024.0, 7, 'f', 1)
                 .arg(r.processes, 6)
                 .arg(lines, 10)
                 .arg(r.ok ? QString() : QStringLiteral("  FAILED"));
    out().flush();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "dq-journal over a directory of full-size journals (33 KB, four generations, a "
        "controller list) against dq-journal once per file: all records and a rare --grep, "
        "wall time and peak resident memory. All records go to /dev/null, the matches of "
        "the search to a scratch file whose lines are counted."));
    parser.addHelpOption();
    const QCommandLineOption journalsOption(QStringLiteral("journals"),
                                            QStringLiteral("Fleet sizes (default 1000,10000)."),
                                            QStringLiteral("list"), QStringLiteral("1000,10000"));
    const QCommandLineOption noPerFileOption(QStringLiteral("no-per-file"),
                                             QStringLiteral("Skip the once-per-file runs."));
    const QCommandLineOption fleetOption(
        QStringLiteral("fleet"),
        QStringLiteral("Make the journals in DIR/<size> and keep them; a fleet already "
                       "there is used as it is (for comparing builds)."),
        QStringLiteral("DIR"));
    parser.addOptions({journalsOption, noPerFileOption, fleetOption});
    parser.process(app);

    const QString tool = QCoreApplication::applicationDirPath() + QStringLiteral("/dq-journal");
    if (!QFileInfo(tool).isExecutable()) {
        QTextStream(stderr) << "bench-fleet: " << tool << " not found\n";
        return 2;
    }
    const QString scratch = scratchTemplate("bench-fleet");
    for (const QString& size : parser.value(journalsOption).split(QLatin1Char(','))) {
        const int count = size.toInt();
        if (count <= 0)
            continue;
        QTemporaryDir dir(scratch);
        const QString journals = parser.isSet(fleetOption)
                                     ? QDir(parser.value(fleetOption))
                                           .absoluteFilePath(size + QStringLiteral("/journals"))
                                     : dir.filePath(QStringLiteral("journals"));
        const bool made = QFileInfo::exists(journals + QStringLiteral("/controllers.txt"));
        QDir().mkpath(journals);
        QString error;
        if (!made && !makeFleet(journals, count, &error)) {
            QTextStream(stderr) << "bench-fleet: controller list not written: " << error << '\n';
            return 2;
        }
        const QString list = QDir(journals).filePath(QStringLiteral("controllers.txt"));
        const QString output = dir.filePath(QStringLiteral("out.txt"));
        QStringList files;
        for (const QString& f :
             QDir(journals).entryList({QStringLiteral("Jrn*.bin")}, QDir::Files, QDir::Name))
            files << QDir(journals).filePath(f);
        const qint64 journalBytes = QFileInfo(files.first()).size();
        out() << count << " journals of " << journalBytes << " bytes ("
              << count * journalBytes / (1024 * 1024) << " MiB), "
              << "rare text \"" << RareText << "\" in one journal of " << RareEvery << ", "
              << count * qint64(JournalRecords) << " records in all:\n";
        const QStringList all{QStringLiteral("--controllers"), list};
        const QStringList grep =
            all + QStringList{QStringLiteral("--grep"), QString::fromLatin1(RareText)};
        // All records to /dev/null: what is measured is the tool, not a disk.
        const Result allRun =
            runOnce(tool, all + QStringList{journals}, QStringLiteral("/dev/null"));
        report("all records, one run", allRun, -1);
        const Result grepRun = runOnce(tool, grep + QStringList{journals}, output);
        report("rare --grep, one run", grepRun, lineCount(output));
        const Result reading = readAll(files);
        report("floor: reading the journals", reading, -1);
        // The journals decoded to text beforehand (by the tool; kept beside a
        // kept fleet), for grep's floor.
        const QString decoded = parser.isSet(fleetOption)
                                    ? QDir(journals).filePath(QStringLiteral("../decoded.txt"))
                                    : dir.filePath(QStringLiteral("decoded.txt"));
        if (!QFileInfo::exists(decoded))
            runOnce(tool, all + QStringList{journals}, decoded);
        const QString grepTool = QStandardPaths::findExecutable(QStringLiteral("grep"));
        const Result grepFloor = runOnce(
            grepTool,
            {QStringLiteral("-c"), QStringLiteral("-F"), QString::fromLatin1(RareText), decoded},
            output);
        report("floor: grep -c over decoded text", grepFloor, -1);
        out() << QStringLiteral("  rare --grep: %1 x reading, %2 x grep -c; all records: %3 x "
                                "reading\n")
                     .arg(grepRun.seconds / reading.seconds, 0, 'f', 1)
                     .arg(grepRun.seconds / grepFloor.seconds, 0, 'f', 1)
                     .arg(allRun.seconds / reading.seconds, 0, 'f', 1);
        if (!parser.isSet(noPerFileOption)) {
            report("all records, once per file",
                   runPerFile(tool, all, files, QStringLiteral("/dev/null")), -1);
            report("rare --grep, once per file", runPerFile(tool, grep, files, output), -1);
        }
    }
    return 0;
}
