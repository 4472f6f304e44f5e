// dq-journal: decodes a saved controller journal and writes it as the journal
// viewer's "Save ..." would for a freshly opened viewer (aligned text or CSV).

#include "journal/journaldecoder.h"
#include "journal/journalorder.h"
#include "journal/journalwriter.h"
#include "journal/messagedefinitionparser.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>

namespace {

enum ExitCode { Ok = 0, UsageError = 1, InputError = 2, OutputError = 3 };

int fail(int code, const QString& message)
{
    QTextStream err(stderr);
    err << "dq-journal: " << message << '\n';
    return code;
}

} // namespace

int main(int argc, char* argv[])
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
        QStringLiteral("Write to this file instead of standard output."), QStringLiteral("file"));
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

    QFile journal(args.first());
    if (!journal.exists())
        return fail(InputError, QStringLiteral("%1: no such file").arg(journal.fileName()));
    if (!journal.open(QIODevice::ReadOnly))
        return fail(
            InputError,
            QStringLiteral("%1: cannot read: %2").arg(journal.fileName(), journal.errorString()));
    const QByteArray data = journal.readAll();
    if (journal.error() != QFileDevice::NoError)
        return fail(
            InputError,
            QStringLiteral("%1: cannot read: %2").arg(journal.fileName(), journal.errorString()));

    QVector<JournalRow> rows;
    if (textJournal) {
        rows = JournalDecoder::decodeText(data);
    } else {
        QFile mesFile(mesPath);
        if (!mesFile.open(QIODevice::ReadOnly))
            return fail(InputError, QStringLiteral("%1: cannot read the message definitions: %2")
                                        .arg(mesPath, mesFile.errorString()));
        QMap<int, QString> sources;
        QMap<int, QString> messages;
        MessageDefinitionParser::parse(mesFile, sources, messages);
        rows = JournalDecoder(messages, sources).decodeBinary(data);
    }

    const QVector<int> order = JournalOrder::displayOrder(rows);
    const auto cell = [&](int row, int column) {
        return JournalOrder::cellText(rows.at(order.at(row)), column, textJournal);
    };
    const int columns = JournalOrder::columnCount(textJournal);

    if (parser.isSet(outputOption)) {
        QSaveFile out(parser.value(outputOption));
        if (!out.open(QIODevice::WriteOnly))
            return fail(
                OutputError,
                QStringLiteral("%1: cannot write: %2").arg(out.fileName(), out.errorString()));
        if (!JournalWriter::write(out, format, order.size(), columns, cell) || !out.commit())
            return fail(
                OutputError,
                QStringLiteral("%1: cannot write: %2").arg(out.fileName(), out.errorString()));
        return Ok;
    }
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly) ||
        !JournalWriter::write(out, format, order.size(), columns, cell) || !out.flush())
        return fail(OutputError, QStringLiteral("cannot write to standard output"));
    return Ok;
}
