// dq-journal: decodes a saved controller journal and writes it as the journal
// viewer's "Save ..." would for a freshly opened viewer (aligned text or CSV);
// or searches many journals and writes their records merged by time.

#include "core/downloadfile.h"
#include "core/journalversion.h"
#include "fleet/controllerlist.h"
#include "fleet/fleetrun.h"
#include "journal/journaldecoder.h"
#include "journal/journalorder.h"
#include "journal/journaltime.h"
#include "journal/journalwriter.h"
#include "journal/messagedefinitionparser.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>
#include <functional>
#include <new>

#ifdef Q_OS_UNIX
#include <unistd.h>
#else
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// Exit statuses, as grep's in every mode: 0 matched (or, for one journal,
// written), 1 nothing matched, 2 any error.
enum ExitCode { Ok = 0, NothingMatched = 1, Error = 2 };

int fail(int code, const QString& message)
{
    FleetRun::warn(message);
    return code;
}

// Reads the regular file at path whole when it holds at most limit bytes;
// otherwise says why not. Anything else is not opened: a FIFO would wait for
// a writer, a device would not end.
QString readInput(const QString& path, qint64 limit, QByteArray* data)
{
    QFile file(path);
    return DownloadFile::readFailure(DownloadFile::readRegular(file, limit, data), file, limit);
}

// The descriptor of this process that path names (/dev/stdout, /dev/stderr,
// /dev/fd/N, /proc/self/fd/N and the like, also behind links), or -1. Such a
// name reopens whatever the descriptor leads to: a file the shell opened to
// append to would be started over, or replaced as a whole.
int ownDescriptor(const QString& path)
{
#ifdef Q_OS_UNIX
    const QRegularExpression name(
        QStringLiteral("^/(?:dev/std(in|out|err)|(?:dev|proc/(?:self|thread-self|%1))/fd/(\\d+))$")
            .arg(QCoreApplication::applicationPid()));
    QString current = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    for (int links = 0; links < 40; ++links) {
        const QRegularExpressionMatch match = name.match(current);
        if (match.hasMatch()) {
            const QString stream = match.captured(1);
            if (!stream.isEmpty())
                return stream == QLatin1String("in") ? 0 : stream == QLatin1String("out") ? 1 : 2;
            bool ok = false;
            const int descriptor = match.captured(2).toInt(&ok);
            return ok ? descriptor : -1;
        }
        char target[4096];
        const ssize_t length =
            ::readlink(QFile::encodeName(current).constData(), target, sizeof target);
        if (length <= 0 || size_t(length) >= sizeof target)
            return -1;
        const QString next = QFile::decodeName(QByteArray(target, int(length)));
        current = QDir::cleanPath(QFileInfo(current).dir().absoluteFilePath(next));
    }
#else
    Q_UNUSED(path)
#endif
    return -1;
}

// What the command line asks for. One journal (-g/-t/-m) is decoded as the
// viewer saves it; with --controllers or -v, any number of journals are
// searched and merged.
struct Options
{
    bool help = false;
    QString helpText;
    bool fleet = false;
    QStringList inputs;
    QString outPath = QStringLiteral("-");
    // One journal.
    bool textJournal = false;
    bool formatGiven = false; // -g, -t or -m; else found in a controllers.txt
    QString mesPath;
    JournalWriter::Format format = JournalWriter::Format::AlignedText;
    // Many journals.
    FleetRun::Settings fleetSettings;
    QString controllersPath;
};

struct Failure
{
    int code = Ok;
    QString message;
};

// dq-journal's options, of both modes.
struct Switches
{
    const QCommandLineOption generationOption{
        {QStringLiteral("g"), QStringLiteral("generation")},
        QStringLiteral("Firmware generation of a binary journal: 314, 315, 316 or 317. Selects "
                       "the built-in message-definition file. Without -g, -t or -m the format "
                       "comes from controllers.txt (id;type lines, as dq-workstation writes "
                       "it in its data directory) beside the journal or in the folder above."),
        QStringLiteral("N")};
    const QCommandLineOption textOption{
        {QStringLiteral("t"), QStringLiteral("text")},
        QStringLiteral("The journal is a text journal (TM_HELIX, vegal and other families).")};
    const QCommandLineOption messagesOption{
        {QStringLiteral("m"), QStringLiteral("messages")},
        QStringLiteral("Message-definition file to use instead of the built-in one."),
        QStringLiteral("file")};
    const QCommandLineOption formatOption{
        {QStringLiteral("f"), QStringLiteral("format")},
        QStringLiteral("Output format: text or csv (default text); jsonl (JSON Lines) for many "
                       "journals."),
        QStringLiteral("format"),
        QStringLiteral("text")};
    const QCommandLineOption outputOption{
        {QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral("Write to this file instead of standard output (\"-\": standard output). "
                       "A device or FIFO is written straight through."),
        QStringLiteral("file")};
    const QCommandLineOption controllersOption{
        QStringLiteral("controllers"),
        QStringLiteral("Many journals: the controllers' types, \"id;type\" a line; each journal "
                       "is read in its controller's format, one of a controller not listed is "
                       "skipped."),
        QStringLiteral("file")};
    const QCommandLineOption versionOption{
        {QStringLiteral("v"), QStringLiteral("journal-version")},
        QStringLiteral("Many journals, all of one format: 314 to 317 (binary), 0x2FFFF, 0x3FFFF "
                       "or 0x4FFFF (text)."),
        QStringLiteral("version")};
    const QCommandLineOption oldestOption{QStringLiteral("oldest-first"),
                                          QStringLiteral("Oldest records first.")};
    const QCommandLineOption sinceOption{
        QStringLiteral("since"),
        QStringLiteral("Records from this time on: \"18:00\", \"day.month[.year] hh:mm[:ss]\", "
                       "\"2026-11-14\", \"2026-11-14T03:10\", \"today\" or \"yesterday\" (a "
                       "time may follow them); what is left out, the last such moment."),
        QStringLiteral("time")};
    const QCommandLineOption untilOption{QStringLiteral("until"),
                                         QStringLiteral("Records up to this time, as --since."),
                                         QStringLiteral("time")};
    const QCommandLineOption grepOption{
        QStringLiteral("grep"),
        QStringLiteral("Records with a cell holding this text, letter case aside; repeated: any "
                       "of them."),
        QStringLiteral("text")};
    const QCommandLineOption typeOption{
        QStringLiteral("type"),
        QStringLiteral("Text-journal records of this type (E, W, I); repeated: any of them."),
        QStringLiteral("type")};
    const QCommandLineOption countOption{
        QStringLiteral("count"),
        QStringLiteral("Print the matches per controller with any, and their total, instead.")};
    const QCommandLineOption allOption{
        QStringLiteral("all"),
        QStringLiteral("With --count: list the controllers without a match too.")};
};

// One journal: its format from -g, -t or -m (or later from a controllers.txt).
Failure parseSingle(const QCommandLineParser& parser, const Switches& w, Options* options)
{
    const QString formatName = parser.value(w.formatOption).toLower();
    for (const QCommandLineOption& o : {w.oldestOption, w.sinceOption, w.untilOption, w.grepOption,
                                        w.typeOption, w.countOption, w.allOption})
        if (parser.isSet(o))
            return {Error, QStringLiteral("--%1 needs the controllers' types: "
                                          "--controllers FILE or -v VERSION")
                               .arg(o.names().constLast())};
    if (options->inputs.size() != 1)
        return {Error, options->inputs.isEmpty()
                           ? QStringLiteral("no journal file given (see --help)")
                           : QStringLiteral("give exactly one journal file, or the "
                                            "controllers' types with --controllers or "
                                            "-v")};
    if (formatName != QLatin1String("text") && formatName != QLatin1String("csv"))
        return {Error, QStringLiteral("unknown format \"%1\": use text or csv").arg(formatName)};
    options->format = formatName == QLatin1String("csv") ? JournalWriter::Format::Csv
                                                         : JournalWriter::Format::AlignedText;
    options->textJournal = parser.isSet(w.textOption);
    options->formatGiven =
        options->textJournal || parser.isSet(w.generationOption) || parser.isSet(w.messagesOption);
    if (!options->textJournal && options->formatGiven) {
        bool ok = false;
        const int generation = parser.value(w.generationOption).toInt(&ok);
        if (parser.isSet(w.generationOption) && (!ok || generation < 314 || generation > 317))
            return {Error, QStringLiteral("unknown generation \"%1\": use 314 to 317")
                               .arg(parser.value(w.generationOption))};
        options->mesPath = parser.isSet(w.messagesOption)
                               ? parser.value(w.messagesOption)
                               : QStringLiteral(":/mes_files/Notepad.mes.%1").arg(generation);
    } else if (parser.isSet(w.messagesOption) || parser.isSet(w.generationOption)) {
        return {Error, QStringLiteral("a text journal takes no generation or definition file")};
    }
    return {};
}

// Many journals: the formats from --controllers or -v, and what to take of them.
Failure parseFleet(const QCommandLineParser& parser, const Switches& w, Options* options)
{
    const QString formatName = parser.value(w.formatOption).toLower();
    FleetRun::Settings& fleet = options->fleetSettings;
    if (parser.isSet(w.generationOption) || parser.isSet(w.textOption) ||
        parser.isSet(w.messagesOption))
        return {Error, QStringLiteral("-g, -t and -m are for one journal: with "
                                      "--controllers or -v the formats follow the "
                                      "controllers")};
    if (parser.isSet(w.controllersOption) && parser.isSet(w.versionOption))
        return {Error, QStringLiteral("give --controllers or -v, not both")};
    if (options->inputs.isEmpty())
        return {Error, QStringLiteral("no journal file or directory given (see --help)")};
    if (formatName == QLatin1String("text"))
        fleet.format = FleetWriter::Format::Text;
    else if (formatName == QLatin1String("csv"))
        fleet.format = FleetWriter::Format::Csv;
    else if (formatName == QLatin1String("jsonl"))
        fleet.format = FleetWriter::Format::JsonLines;
    else
        return {Error,
                QStringLiteral("unknown format \"%1\": use text, csv or jsonl").arg(formatName)};
    if (parser.isSet(w.versionOption)) {
        bool ok = false;
        fleet.version = parser.value(w.versionOption).toInt(&ok, 0);
        if (!ok || !JournalVersion::isKnown(fleet.version))
            return {Error, QStringLiteral("unknown journal version \"%1\": use 314 to 317, "
                                          "0x2FFFF, 0x3FFFF or 0x4FFFF")
                               .arg(parser.value(w.versionOption))};
    }
    options->controllersPath = parser.value(w.controllersOption);
    fleet.oldestFirst = parser.isSet(w.oldestOption);
    fleet.count = parser.isSet(w.countOption);
    fleet.countAll = parser.isSet(w.allOption);
    if (fleet.countAll && !fleet.count)
        return {Error, QStringLiteral("--all goes with --count")};
    const QDateTime now = QDateTime::currentDateTime();
    for (const QCommandLineOption& o : {w.sinceOption, w.untilOption}) {
        if (!parser.isSet(o))
            continue;
        const RecordTime moment = JournalFilter::parseMoment(parser.value(o), now);
        if (!moment.isValid())
            return {Error, QStringLiteral("--%1 \"%2\": not a time such as 18:00, 24.12 18:00, "
                                          "24.12.2026 18:00:30, 2026-12-24T18:00 or "
                                          "yesterday 18:00")
                               .arg(o.names().constFirst(), parser.value(o))};
        if (o.names().constFirst() == QLatin1String("since"))
            fleet.filter.setSince(moment);
        else
            fleet.filter.setUntil(moment);
    }
    for (const QString& text : parser.values(w.grepOption)) {
        if (text.isEmpty())
            return {Error, QStringLiteral("--grep needs a text")};
        fleet.filter.addText(text);
    }
    for (const QString& type : parser.values(w.typeOption)) {
        if (type != QLatin1String("E") && type != QLatin1String("W") && type != QLatin1String("I"))
            return {Error, QStringLiteral("--type \"%1\": use E, W or I").arg(type)};
        fleet.filter.addType(type);
    }
    return {};
}

Failure parseOptions(const QStringList& arguments, Options* options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Decodes a saved controller journal and writes it as the journal viewer saves it:\n"
        "rows newest first (in the order they were written), UTF-8, LF line ends.\n"
        "With --controllers or -v: searches any number of journals (files, or directories\n"
        "of Jrn*.bin files) and writes their records merged by time, newest first, the\n"
        "controller id first. Exit status as grep's: 0 when written (one journal) or when a\n"
        "record matched, 1 when none did, 2 on any error (the other journals are still read).\n"
        "A journal's format follows its controller's type: dq-workstation writes the list of\n"
        "its controllers (id;type lines) as controllers.txt in its data directory, beside the\n"
        "journals/ folder. Which controllers logged a door opening last night:\n"
        "  dq-journal --controllers DATA/controllers.txt --since \"yesterday 18:00\" \\\n"
        "      --until \"today 07:00\" --grep \"дверь\" --count DATA/journals"));
    parser.addHelpOption();
    const Switches w;
    parser.addOptions({w.generationOption, w.textOption, w.messagesOption, w.formatOption,
                       w.outputOption, w.controllersOption, w.versionOption, w.oldestOption,
                       w.sinceOption, w.untilOption, w.grepOption, w.typeOption, w.countOption,
                       w.allOption});
    parser.addPositionalArgument(
        QStringLiteral("journal"),
        QStringLiteral("The journal file (for example Jrn00025.bin); with --controllers or -v, "
                       "journal files and directories."),
        QStringLiteral("journal..."));

    // Known even when the rest is wrong: it decides how errors end.
    const bool parsed = parser.parse(arguments);
    options->fleet = parser.isSet(w.controllersOption) || parser.isSet(w.versionOption);
    if (!parsed)
        return {Error, parser.errorText() + QStringLiteral(" (see --help)")};
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        options->help = true;
        options->helpText = parser.helpText();
        return {};
    }
    options->inputs = parser.positionalArguments();
    if (parser.isSet(w.outputOption))
        options->outPath = parser.value(w.outputOption);
    return options->fleet ? parseFleet(parser, w, options) : parseSingle(parser, w, options);
}

// The name to open path by when it is a device (a node that is no regular
// file or directory, or on Windows one of the reserved names NUL, CON, COM1 ...,
// a device in whatever folder it is named); empty when it is none.
QString deviceName(const QString& path)
{
#ifdef Q_OS_WIN
    static const QRegularExpression reserved(
        QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\\..*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = reserved.match(QFileInfo(path).fileName());
    if (match.hasMatch()) // by the device namespace: a folder would make it a file's name
        return QStringLiteral("\\\\.\\") + match.captured(1);
#endif
    const QFileInfo info(path);
    return info.exists() && !info.isFile() && !info.isDir() ? path : QString();
}

// Writes through whatever the output path names; false with the device's
// reason when it cannot.
bool writeOutput(const QString& outPath, const std::function<bool(QFileDevice&)>& write,
                 QString* reason)
{
    if (outPath == QLatin1String("-")) {
#ifdef Q_OS_WIN
        // The bytes as a file gets them: Windows' C library would write "\r\n" for "\n".
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly) || !write(out) || !out.flush()) {
            *reason = QStringLiteral("cannot write to standard output");
            return false;
        }
        return true;
    }
    const auto failed = [&](const QFileDevice& out) {
        *reason = QStringLiteral("%1: cannot write: %2").arg(outPath, out.errorString());
        return false;
    };
    // Written through the descriptor, as "-" is: appending where the shell
    // appends, and a descriptor that is not open fails as it is.
    const int descriptor = ownDescriptor(outPath);
    // A device or FIFO, also behind a link, is written straight through:
    // replacing it by a regular file would destroy the node or cut off
    // whatever reads it. Unbuffered: the writer hands over large chunks, and
    // a failed write tells its reason at once.
    const QString device = descriptor >= 0 ? QString() : deviceName(outPath);
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered;
    if (descriptor >= 0 || !device.isEmpty()) {
        QFile out(device);
        const bool opened = descriptor >= 0 ? out.open(descriptor, mode) : out.open(mode);
        if (!opened || !write(out) || !out.flush())
            return failed(out);
        return true;
    }
    QSaveFile out(outPath);
    if (!out.open(mode) || !write(out) || !out.commit())
        return failed(out);
    return true;
}

// An output that is one of the inputs would destroy what it is made from:
// refused before anything is read or written. The message, or empty.
QString overwritesInput(const QString& outPath, const QStringList& inputs)
{
    if (outPath == QLatin1String("-"))
        return QString();
    for (const QString& input : inputs)
        if (DownloadFile::sameFile(outPath, input))
            return QStringLiteral("-o %1: the output is the input %2; write it elsewhere")
                .arg(outPath, input);
    return QString();
}

// A journal's format from the controllers.txt beside it or in the folder
// above: true with textJournal or mesPath set; false with the reason.
bool formatFromList(const QString& journalPath, bool* textJournal, QString* mesPath,
                    QString* reason)
{
    const QFileInfo journal(journalPath);
    QString listPath;
    for (const QDir& dir : {journal.dir(), QDir(journal.dir().absoluteFilePath(".."))})
        if (listPath.isEmpty() && QFileInfo(dir.absoluteFilePath("controllers.txt")).isFile())
            listPath = QDir::cleanPath(dir.absoluteFilePath("controllers.txt"));
    int id = 0;
    QByteArray text;
    ControllerList list;
    if (listPath.isEmpty())
        *reason = QStringLiteral("no controllers.txt beside it or in the folder above");
    else if (!DownloadFile::idFromFileName(journal.fileName(), &id))
        *reason = QStringLiteral("its name holds no controller id (JrnNNNNN.bin)");
    else if (!readInput(listPath, DownloadFile::maxSize, &text).isEmpty())
        *reason = QStringLiteral("%1 cannot be read").arg(listPath);
    else if (list.parse(text), !list.contains(id))
        *reason = QStringLiteral("%1 names no single type for controller %2").arg(listPath).arg(id);
    if (!reason->isEmpty())
        return false;
    const int version = JournalVersion::forType(list.type(id));
    *textJournal = !JournalVersion::isBinary(version);
    if (!*textJournal)
        *mesPath = QStringLiteral(":/mes_files/Notepad.mes.%1").arg(version);
    return true;
}

int timedRows(const QVector<JournalRow>& rows)
{
    int timed = 0;
    for (const JournalRow& row : rows)
        timed += row.when != JournalTime::Unknown ? 1 : 0;
    return timed;
}

// Whether the rows decoded fit the format they were decoded in: most text
// lines a row with a time; most binary records a real time, and the bytes no
// text journal (its digits read as records make times that look real).
bool fitsFormat(const QVector<JournalRow>& rows, const QByteArray& data, bool textJournal)
{
    const qint64 lines = data.count('\0');
    if (textJournal)
        return 2 * qint64(timedRows(rows)) >= lines;
    if (2 * timedRows(rows) < rows.size())
        return false;
    const int timedLines = timedRows(JournalDecoder::decodeText(data));
    return timedLines < 2 || 2 * qint64(timedLines) < lines;
}

// One journal: read and decoded as the viewer would, then written.
int runSingle(const Options& options)
{
    // Set-up: the journal and its definitions.
    const QString journalPath = options.inputs.first();
    if (!QFileInfo::exists(journalPath))
        return fail(Error, QStringLiteral("%1: no such file").arg(journalPath));
    const QString overwrite = overwritesInput(options.outPath, {journalPath, options.mesPath});
    if (!overwrite.isEmpty())
        return fail(Error, overwrite);
    QByteArray data;
    const QString journalError = readInput(journalPath, DownloadFile::maxSize, &data);
    if (!journalError.isEmpty())
        return fail(Error, QStringLiteral("%1: cannot read: %2").arg(journalPath, journalError));

    // Never decoded with a guess: the format is given, or known from the list.
    bool textJournal = options.textJournal;
    QString mesPath = options.mesPath;
    QString unknown;
    if (!options.formatGiven && !formatFromList(journalPath, &textJournal, &mesPath, &unknown))
        return fail(Error, QStringLiteral("%1: the journal's format is not known (%2): give -g "
                                          "314..317 for a binary journal or -t for a text one")
                               .arg(journalPath, unknown));

    QVector<JournalRow> rows;
    if (textJournal) {
        rows = JournalDecoder::decodeText(data);
    } else {
        QByteArray definitions;
        const QString mesError =
            readInput(mesPath, MessageDefinitionParser::maxFileSize, &definitions);
        if (!mesError.isEmpty())
            return fail(Error, QStringLiteral("%1: cannot read the message definitions: %2")
                                   .arg(mesPath, mesError));
        QBuffer mesBuffer(&definitions);
        mesBuffer.open(QIODevice::ReadOnly);
        QMap<int, QString> sources;
        QMap<int, QString> messages;
        MessageDefinitionParser::parse(mesBuffer, sources, messages);
        bool tooMuchText = false;
        rows = JournalDecoder(messages, sources)
                   .decodeBinary(data, {}, &tooMuchText,
                                 JournalTime::writtenDate(QFileInfo(journalPath).lastModified()));
        if (tooMuchText)
            return fail(Error,
                        QStringLiteral("%1: the messages come to more than %2 characters with the "
                                       "definitions %3")
                            .arg(journalPath)
                            .arg(JournalDecoder::MaxMessageText)
                            .arg(mesPath));
    }
    // Decoded all the same, but said: the report would rest on a wrong format.
    const bool fits = fitsFormat(rows, data, textJournal);
    if (!fits)
        FleetRun::warn(
            QStringLiteral("%1: most of it has no time as a %2 journal: is it a %3 one (%4)?")
                .arg(journalPath, textJournal ? QStringLiteral("text") : QStringLiteral("binary"),
                     textJournal ? QStringLiteral("binary") : QStringLiteral("text"),
                     textJournal ? QStringLiteral("-g") : QStringLiteral("-t")));

    // Running: the rows in the viewer's order.
    const QVector<int> order = JournalOrder::displayOrder(rows);
    const auto cell = [&](int row, int column) {
        return JournalOrder::cellText(rows.at(order.at(row)), column, textJournal);
    };
    const int columns = JournalOrder::columnCount(textJournal);
    QString reason;
    if (!writeOutput(
            options.outPath,
            [&](QFileDevice& out) {
                return JournalWriter::write(out, options.format, order.size(), columns, cell);
            },
            &reason))
        return fail(Error, reason);
    return fits ? Ok : Error;
}

// Many journals: each read and filtered alone, then the matches merged.
int runFleet(Options& options)
{
    bool listErrors = false;
    // Set-up: the controllers' types.
    FleetRun::Settings& settings = options.fleetSettings;
    if (!options.controllersPath.isEmpty()) {
        QByteArray list;
        const QString listError = readInput(options.controllersPath, DownloadFile::maxSize, &list);
        if (!listError.isEmpty())
            return fail(
                Error,
                QStringLiteral("%1: cannot read: %2").arg(options.controllersPath, listError));
        // A wrong line costs its controller only; the run ends with an error.
        QStringList warnings;
        const QStringList errors = settings.controllers.parse(list, &warnings);
        for (const QString& text : warnings + errors)
            FleetRun::warn(QStringLiteral("%1: %2").arg(options.controllersPath, text));
        listErrors = !errors.isEmpty();
        settings.useList = true;
        settings.listName = options.controllersPath;
    }
    FleetRun fleet(std::move(settings));
    fleet.addPaths(options.inputs);
    const QString overwrite =
        overwritesInput(options.outPath, fleet.inputFiles() << options.controllersPath);
    if (!overwrite.isEmpty())
        return fail(Error, overwrite);

    // Running: read and filter all, then write merged.
    fleet.collect();
    QString reason;
    if (!writeOutput(
            options.outPath, [&](QFileDevice& out) { return fleet.write(out); }, &reason))
        return fail(Error, reason);
    if (fleet.hadErrors() || listErrors)
        return Error;
    return fleet.matches() > 0 ? Ok : NothingMatched;
}

int run(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dq-journal"));

    Options options;
    const Failure failure = parseOptions(QCoreApplication::arguments(), &options);
    if (failure.code != Ok)
        return fail(failure.code, failure.message);
    if (options.help) {
        QTextStream(stdout) << options.helpText;
        return Ok;
    }
    return options.fleet ? runFleet(options) : runSingle(options);
}

} // namespace

int main(int argc, char* argv[])
{
    // The bounds on what is read and decoded keep the memory needed far below
    // what a host has; should it run out all the same, that is said like any
    // other input that cannot be decoded.
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("dq-journal: out of memory\n", stderr);
        return Error;
    }
}
