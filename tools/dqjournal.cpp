// dq-journal: decodes a saved controller journal and writes it as the journal
// viewer's "Save ..." would for a freshly opened viewer (aligned text or CSV).

#include "journal/journaldecoder.h"
#include "journal/journalorder.h"
#include "journal/journalwriter.h"
#include "journal/messagedefinitionparser.h"
#include "core/downloadfile.h"

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
#include <new>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

enum ExitCode { Ok = 0, UsageError = 1, InputError = 2, OutputError = 3 };

int fail(int code, const QString& message)
{
    QTextStream err(stderr);
    err << "dq-journal: " << message << '\n';
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

int cannotWrite(const QString& path, const QFileDevice& out)
{
    return fail(OutputError, QStringLiteral("%1: cannot write: %2").arg(path, out.errorString()));
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

int run(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dq-journal"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Decodes a saved controller journal and writes it as the journal viewer saves it:\n"
        "rows newest first (by the Time text), UTF-8, LF line ends."));
    parser.addHelpOption();
    const QCommandLineOption generationOption(
        {QStringLiteral("g"), QStringLiteral("generation")},
        QStringLiteral("Firmware generation of a binary journal: 314, 315, 316 or 317 (default "
                       "317). Selects the built-in message-definition file."),
        QStringLiteral("N"), QStringLiteral("317"));
    const QCommandLineOption textOption(
        {QStringLiteral("t"), QStringLiteral("text")},
        QStringLiteral("The journal is a text journal (TM_HELIX, vegal and other families)."));
    const QCommandLineOption messagesOption(
        {QStringLiteral("m"), QStringLiteral("messages")},
        QStringLiteral("Message-definition file to use instead of the built-in one."),
        QStringLiteral("file"));
    const QCommandLineOption formatOption({QStringLiteral("f"), QStringLiteral("format")},
                                          QStringLiteral("Output format: text or csv (default "
                                                         "text)."),
                                          QStringLiteral("format"), QStringLiteral("text"));
    const QCommandLineOption outputOption(
        {QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral("Write to this file instead of standard output (\"-\": standard output). "
                       "A device or FIFO is written straight through."),
        QStringLiteral("file"));
    parser.addOptions({generationOption, textOption, messagesOption, formatOption, outputOption});
    parser.addPositionalArgument(QStringLiteral("journal"),
                                 QStringLiteral("The journal file (for example Jrn00025.bin)."));

    if (!parser.parse(QCoreApplication::arguments()))
        return fail(UsageError, parser.errorText() + QStringLiteral(" (see --help)"));
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        QTextStream(stdout) << parser.helpText();
        return Ok;
    }
    const QStringList args = parser.positionalArguments();
    if (args.size() != 1)
        return fail(UsageError, args.isEmpty()
                                    ? QStringLiteral("no journal file given (see --help)")
                                    : QStringLiteral("give exactly one journal file"));

    const QString formatName = parser.value(formatOption).toLower();
    if (formatName != QLatin1String("text") && formatName != QLatin1String("csv"))
        return fail(UsageError,
                    QStringLiteral("unknown format \"%1\": use text or csv").arg(formatName));
    const auto format = formatName == QLatin1String("csv") ? JournalWriter::Format::Csv
                                                           : JournalWriter::Format::AlignedText;
    const bool textJournal = parser.isSet(textOption);

    QString mesPath;
    if (!textJournal) {
        bool ok = false;
        const int generation = parser.value(generationOption).toInt(&ok);
        if (!ok || generation < 314 || generation > 317)
            return fail(UsageError, QStringLiteral("unknown generation \"%1\": use 314 to 317")
                                        .arg(parser.value(generationOption)));
        mesPath = parser.isSet(messagesOption)
                      ? parser.value(messagesOption)
                      : QStringLiteral(":/mes_files/Notepad.mes.%1").arg(generation);
    } else if (parser.isSet(messagesOption) || parser.isSet(generationOption)) {
        return fail(UsageError,
                    QStringLiteral("a text journal takes no generation or definition file"));
    }

    const QString journalPath = args.first();
    if (!QFileInfo::exists(journalPath))
        return fail(InputError, QStringLiteral("%1: no such file").arg(journalPath));
    QByteArray data;
    const QString journalError = readInput(journalPath, DownloadFile::maxSize, &data);
    if (!journalError.isEmpty())
        return fail(InputError,
                    QStringLiteral("%1: cannot read: %2").arg(journalPath, journalError));

    QVector<JournalRow> rows;
    if (textJournal) {
        rows = JournalDecoder::decodeText(data);
    } else {
        QByteArray definitions;
        const QString mesError =
            readInput(mesPath, MessageDefinitionParser::maxFileSize, &definitions);
        if (!mesError.isEmpty())
            return fail(InputError, QStringLiteral("%1: cannot read the message definitions: %2")
                                        .arg(mesPath, mesError));
        QBuffer mesBuffer(&definitions);
        mesBuffer.open(QIODevice::ReadOnly);
        QMap<int, QString> sources;
        QMap<int, QString> messages;
        MessageDefinitionParser::parse(mesBuffer, sources, messages);
        bool tooMuchText = false;
        rows = JournalDecoder(messages, sources).decodeBinary(data, {}, &tooMuchText);
        if (tooMuchText)
            return fail(InputError,
                        QStringLiteral("%1: the messages come to more than %2 characters with the "
                                       "definitions %3")
                            .arg(journalPath)
                            .arg(JournalDecoder::MaxMessageText)
                            .arg(mesPath));
    }

    const QVector<int> order = JournalOrder::displayOrder(rows);
    const auto cell = [&](int row, int column) {
        return JournalOrder::cellText(rows.at(order.at(row)), column, textJournal);
    };
    const int columns = JournalOrder::columnCount(textJournal);

    const auto writeTable = [&](QFileDevice& out) {
        return JournalWriter::write(out, format, order.size(), columns, cell) && out.flush();
    };
    const QString outPath =
        parser.isSet(outputOption) ? parser.value(outputOption) : QStringLiteral("-");
    if (outPath == QLatin1String("-")) {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly) || !writeTable(out))
            return fail(OutputError, QStringLiteral("cannot write to standard output"));
        return Ok;
    }
    // Written through the descriptor, as "-" is: appending where the shell
    // appends, and a descriptor that is not open fails as it is.
    const int descriptor = ownDescriptor(outPath);
    if (descriptor >= 0) {
        QFile out;
        if (!out.open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered) || !writeTable(out))
            return cannotWrite(outPath, out);
        return Ok;
    }
    // A device or FIFO, also behind a link, is written straight through:
    // replacing it by a regular file would destroy the node or cut off
    // whatever reads it. Unbuffered: the writer hands over large chunks, and
    // a failed write tells its reason at once.
    const QFileInfo outInfo(outPath);
    if (outInfo.exists() && !outInfo.isFile() && !outInfo.isDir()) {
        QFile out(outPath);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || !writeTable(out))
            return cannotWrite(outPath, out);
        return Ok;
    }
    QSaveFile out(outPath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || !writeTable(out) ||
        !out.commit())
        return cannotWrite(outPath, out);
    return Ok;
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
        return InputError;
    }
}
