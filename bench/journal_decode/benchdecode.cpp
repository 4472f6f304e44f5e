// Measures how many binary journal records per second become table rows
// (decoded and formatted, no widgets), on a journal of the 3.17 file's
// messages with random parameters.
//
// Usage: bench-decode [records] [runs]

#include "journal/journaldecoder.h"
#include "journal/messagedefinitionparser.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTextStream>

#include <algorithm>

namespace {

// Newest first, as controllers store them: one second earlier per record.
QByteArray buildJournal(int records, const QList<int>& codes, const QList<int>& sources)
{
    QRandomGenerator rng(317);
    QByteArray data(records * 8, Qt::Uninitialized);
    auto* p = reinterpret_cast<uchar*>(data.data());
    quint32 t = 12u * 31 * 86400; // seconds since the start of the year, roughly
    for (int i = 0; i < records; ++i, p += 8) {
        t = t > 86400 ? t - 1 : 12u * 31 * 86400;
        const quint32 day = t / 86400, rest = t % 86400;
        const quint32 month = day / 31 % 12 + 1, mday = day % 28 + 1;
        const quint32 source = quint32(sources.at(int(rng.bounded(sources.size()))));
        const quint32 w = rest % 60 | (rest / 60 % 60) << 6 | (rest / 3600) << 12 | mday << 17 |
                          month << 22 | source << 26;
        for (int b = 0; b < 4; ++b)
            p[b] = uchar(w >> (8 * b));
        p[4] = uchar(codes.at(int(rng.bounded(codes.size()))));
        const quint32 params = rng.generate();
        p[5] = uchar(params);
        p[6] = uchar(params >> 8);
        p[7] = uchar(params >> 16);
    }
    return data;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Binary journal records decoded and formatted into table rows per second (no widgets), "
        "best of several runs."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("records"),
                                 QStringLiteral("Records in the journal (default 1000000)."),
                                 QStringLiteral("[records]"));
    parser.addPositionalArgument(QStringLiteral("runs"), QStringLiteral("Runs (default 5)."),
                                 QStringLiteral("[runs]"));
    parser.process(app);
    const QStringList args = parser.positionalArguments();
    const int records = args.size() > 0 ? args.at(0).toInt() : 1000000;
    const int runs = args.size() > 1 ? args.at(1).toInt() : 5;
    QTextStream out(stdout);

    QFile mes(QStringLiteral(":/mes_files/Notepad.mes.317"));
    if (records <= 0 || runs <= 0 || !mes.open(QIODevice::ReadOnly)) {
        out << "usage: bench-decode [records] [runs] (see --help)\n";
        return 1;
    }
    QMap<int, QString> sources, messages;
    QElapsedTimer timer;
    timer.start();
    MessageDefinitionParser::parse(mes, sources, messages);
    const qint64 parseNs = timer.nsecsElapsed();

    const QByteArray journal = buildJournal(records, messages.keys(), sources.keys());
    const JournalDecoder decoder(messages, sources);

    QVector<double> rates;
    qint64 checksum = 0;
    for (int run = 0; run < runs; ++run) {
        timer.restart();
        const QVector<JournalRow> rows = decoder.decodeBinary(journal);
        const qint64 ns = timer.nsecsElapsed();
        rates.append(double(rows.size()) * 1e9 / double(ns));
        checksum += rows.size() + rows.constLast().message.size();
    }
    std::sort(rates.begin(), rates.end());
    const QVector<JournalRow> sample = decoder.decodeBinary(journal.left(3 * 8));
    for (const JournalRow& row : sample)
        out << "  " << row.time << " | " << row.message << " | " << row.source << "\n";
    out << "definition file parsed in " << parseNs / 1000 << " us (" << messages.size()
        << " messages)\n";
    out << records << " records, " << runs << " runs: median " << qRound64(rates.at(runs / 2))
        << " rows/s, best " << qRound64(rates.constLast()) << " rows/s, worst "
        << qRound64(rates.constFirst()) << " rows/s (checksum " << checksum << ")\n";
    return 0;
}
