// bench-viewer: how close the journal viewer comes to the floor of what a
// QTableWidget needs for the same journal, and what per-row sorted insertion
// would cost. Run it headless: QT_QPA_PLATFORM=offscreen bench-viewer

#include "journal/journaldecoder.h"
#include "journal/journalopener.h"
#include "journal/journalviewdlg.h"
#include "journal/messagedefinitionparser.h"
#include "queue/downloadfile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QTableWidget>
#include <QTextCodec>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

constexpr int TextLines = 200000;
constexpr int BinaryBlocks = 344;
constexpr int Repeats = 5;
constexpr double NaiveBudgetSeconds = 60.0;
const QString UniqueText = QStringLiteral("Уникальное событие 4711");
const QString FrequentText = QStringLiteral("зелён");  // in the Source of about 60% of lines
const QString EverywhereText = QStringLiteral(".21 "); // in every Time cell: one range

double seconds(const std::function<void()>& work)
{
    QElapsedTimer t;
    t.start();
    work();
    return t.nsecsElapsed() / 1e9;
}

double median(const std::function<double()>& run)
{
    QVector<double> v;
    for (int i = 0; i < Repeats; ++i)
        v << run();
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

long statusKiB(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// 200,000 lines oldest first, one to four per second, as a controller logs them.
QByteArray textJournal()
{
    QRandomGenerator rng(2026);
    QTextCodec* cp1251 = QTextCodec::codecForName("Windows-1251");
    const QStringList messages{QStringLiteral("Дверь шкафа открыта"),
                               QStringLiteral("Питание 30В ниже допуска."),
                               QStringLiteral("Активизация новой конфигурации режим: рабочий"),
                               QStringLiteral("Ошибка обмена по SPI: таймаут Adr: 12 cmnd: 7"),
                               QStringLiteral("Самоконтроль: сброс по: сторожевому таймеру")};
    const QStringList sources{QStringLiteral("Контроль_зелёных"), QStringLiteral("Клавиатура"),
                              QStringLiteral("АСУДД")};
    QByteArray data;
    data.reserve(TextLines * 90);
    qint64 second = 0;
    for (int i = 0; i < TextLines; ++i) {
        if (rng.bounded(3) != 0)
            ++second;
        const qint64 minutes = second / 60;
        const QString date = QStringLiteral("%1.%2.21")
                                 .arg(1 + (minutes / 1440) % 28, 2, 10, QLatin1Char('0'))
                                 .arg(1 + (minutes / 40320) % 12, 2, 10, QLatin1Char('0'));
        const QString time = QStringLiteral("%1:%2:%3")
                                 .arg((minutes / 60) % 24, 2, 10, QLatin1Char('0'))
                                 .arg(minutes % 60, 2, 10, QLatin1Char('0'))
                                 .arg(second % 60, 2, 10, QLatin1Char('0'));
        const QString source = rng.bounded(10) < 6 ? sources.at(0) : sources.at(1 + i % 2);
        const QString message =
            i == TextLines / 2 ? UniqueText : messages.at(int(rng.bounded(messages.size())));
        data += (date + ' ' + time + ' ' + (i % 3 ? 'I' : 'E') + ' ' + source + ' ').toUtf8();
        data += cp1251->fromUnicode(message);
        data += '\0';
    }
    return data;
}

// Blocks of 12 records (344 by default), stored newest first, with the codes of the 3.17 file.
QByteArray binaryJournal(int blocks = BinaryBlocks)
{
    QRandomGenerator rng(317);
    const int codes[] = {6, 14, 19, 31, 47, 52, 53, 78, 80, 83, 84, 85, 93, 96, 102, 110, 135};
    QByteArray data;
    int minute = 0;
    for (int b = 0; b < blocks; ++b) {
        QByteArray block;
        for (int k = 0; k < 12; ++k) {
            if (rng.bounded(2))
                ++minute;
            const quint32 word =
                quint32(rng.bounded(60)) | quint32(minute % 60) << 6 |
                quint32((minute / 60) % 24) << 12 | quint32(1 + (minute / 1440) % 28) << 17 |
                quint32(1 + (minute / 40320) % 12) << 22 | quint32(1 + rng.bounded(16)) << 26;
            QByteArray r;
            for (int i = 0; i < 4; ++i)
                r.append(char(word >> (8 * i) & 0xFF));
            r.append(char(codes[rng.bounded(int(sizeof codes / sizeof *codes))]));
            for (int i = 0; i < 3; ++i)
                r.append(char(rng.bounded(256)));
            block.prepend(r);
        }
        data += block;
    }
    return data;
}

QVector<JournalRow> decodeBinary(const QByteArray& data, const QString& mesPath)
{
    QMap<int, QString> sources, messages;
    QFile mes(mesPath);
    mes.open(QIODevice::ReadOnly);
    MessageDefinitionParser::parse(mes, sources, messages);
    return JournalDecoder(messages, sources).decodeBinary(data);
}

QStringList cells(const JournalRow& row, bool text)
{
    return text ? QStringList{row.time, row.type, row.message, row.source}
                : QStringList{row.time, row.message, row.source};
}

// The floor: the same items set into an unsorted table, then one sort.
double floorFill(const QVector<JournalRow>& rows, bool text)
{
    QTableWidget table(0, text ? 4 : 3);
    return seconds([&] {
        table.setRowCount(rows.size());
        for (int r = 0; r < rows.size(); ++r) {
            const QStringList c = cells(rows.at(r), text);
            for (int col = 0; col < c.size(); ++col)
                table.setItem(r, col, new QTableWidgetItem(c.at(col)));
        }
        table.sortItems(0, Qt::DescendingOrder);
    });
}

// Per-row insertion into the sorted table, the Time cell last so the row moves whole.
double naiveFill(const QVector<JournalRow>& rows, int n, bool text)
{
    QTableWidget table(0, text ? 4 : 3);
    table.horizontalHeader()->setSortIndicator(0, Qt::DescendingOrder);
    table.setSortingEnabled(true);
    return seconds([&] {
        for (int i = 0; i < n; ++i) {
            const QStringList c = cells(rows.at(i), text);
            const int r = table.rowCount();
            table.insertRow(r);
            for (int col = 1; col < c.size(); ++col)
                table.setItem(r, col, new QTableWidgetItem(c.at(col)));
            table.setItem(r, 0, new QTableWidgetItem(c.at(0)));
        }
    });
}

double oursFill(const QVector<JournalRow>& rows, bool text)
{
    QTableWidget table(0, text ? 4 : 3);
    table.horizontalHeader()->setSortIndicator(0, Qt::DescendingOrder);
    table.setSortingEnabled(true);
    return seconds([&] { JournalViewDlg::fillTable(&table, rows, text); });
}

double openDialog(const QByteArray& data, const QString& mesPath)
{
    std::unique_ptr<JournalViewDlg> dlg;
    const double s =
        seconds([&] { dlg = std::make_unique<JournalViewDlg>(nullptr, data, mesPath, QString()); });
    return s;
}

void reportOpen(const char* name, const QByteArray& data, const QString& mesPath,
                const QVector<JournalRow>& rows, bool text)
{
    const double ours = median([&] { return openDialog(data, mesPath); });
    const double floor = median([&] { return floorFill(rows, text); });
    const double empty = median([&] { return openDialog(QByteArray(), QString()); });
    const double decode = median([&] {
        return seconds([&] {
            if (text)
                JournalDecoder::decodeText(data);
            else
                decodeBinary(data, mesPath);
        });
    });
    const double fill = median([&] { return oursFill(rows, text); });
    const double resize = median([&] {
        QTableWidget table(0, text ? 4 : 3);
        JournalViewDlg::fillTable(&table, rows, text);
        return seconds([&] { table.resizeColumnsToContents(); });
    });
    std::printf("%s, %d rows: open to filled table %.3f s, floor %.3f s, ratio %.2f "
                "(target <= 1.5)\n  of it: empty dialog %.4f s, decoding %.4f s, "
                "ordered fill and sort %.4f s, column resize %.4f s\n",
                name, int(rows.size()), ours, floor, ours / floor, empty, decode, fill, resize);
}

// The naive way on growing row counts while it stays within its budget.
void reportNaive(const char* name, const QVector<JournalRow>& rows, bool text)
{
    double spent = 0;
    int n = 1000;
    int lastN = 0;
    double lastNaive = 0;
    while (n <= rows.size()) {
        const double naive = naiveFill(rows, n, text);
        spent += naive;
        lastN = n;
        lastNaive = naive;
        // The next doubling costs about four times as much.
        if (spent + 4 * naive > NaiveBudgetSeconds)
            break;
        n = n * 2 > rows.size() && n < rows.size() ? rows.size() : n * 2;
    }
    const QVector<JournalRow> part = rows.mid(0, lastN);
    const double ours = median([&] { return oursFill(part, text); });
    std::printf("%s, naive per-row sorted insertion on %d rows: %.3f s, ours %.4f s, "
                "naive/ours %.0f\n",
                name, lastN, lastNaive, ours, lastNaive / ours);
}

} // namespace

// The viewer's peak memory on the largest journal the module opens: as many
// binary records, or text lines as long as the ceiling leaves them, as rows
// the viewer takes. The same through the opener with one row more is refused.
int reportLargest(const QString& kind)
{
    const bool text = kind == QLatin1String("text");
    const auto journal = [text](int rows) {
        if (!text)
            return binaryJournal(rows / 12);
        const int lineSize = DownloadFile::maxSize / rows;
        QByteArray data;
        data.reserve(lineSize * rows);
        for (int i = 0; i < rows; ++i) // every message different: no shared strings
            data += QByteArray("1 2 I 3 ")
                        .append(QByteArray::number(i).leftJustified(lineSize - 9, 'x')) +
                    '\0';
        return data;
    };
    const int version = text ? JournalOpener::TextJournalTmHelix : 317;
    const QDir noOverride(QStringLiteral("/nonexistent"));
    if (JournalOpener::showJournal(nullptr, version, journal(JournalOpener::maxRows + 12),
                                   noOverride)) {
        std::printf("a %s journal of more rows than the viewer takes was opened\n",
                    qPrintable(kind));
        return 1;
    }
    const QByteArray data = journal(JournalOpener::maxRows);
    const long before = statusKiB("VmHWM:");
    QElapsedTimer t;
    t.start();
    std::unique_ptr<QWidget> dlg(JournalOpener::showJournal(nullptr, version, data, noOverride));
    const double open = t.nsecsElapsed() / 1e9;
    if (!dlg)
        return 1;
    std::printf("largest %s journal opened: %d bytes, %d rows; open %.1f s; peak resident %.0f MiB "
                "(%.0f MiB before), peak address space %.0f MiB, pointer size %d\n",
                qPrintable(kind), int(data.size()),
                dlg->findChild<QTableWidget*>(QStringLiteral("journalTable"))->rowCount(), open,
                statusKiB("VmHWM:") / 1024.0, before / 1024.0, statusKiB("VmPeak:") / 1024.0,
                int(sizeof(void*)));
    return 0;
}

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    std::printf("bench-viewer (platform %s)\n", qPrintable(QGuiApplication::platformName()));
    // --largest text|binary: only the peak memory on the largest journal of that kind.
    const int largest = QCoreApplication::arguments().indexOf(QStringLiteral("--largest"));
    if (largest > 0)
        return reportLargest(QCoreApplication::arguments().value(largest + 1));

    const QByteArray text = textJournal();
    const QVector<JournalRow> textRows = JournalDecoder::decodeText(text);
    const QString mes317 = QStringLiteral(":/mes_files/Notepad.mes.317");
    const QByteArray binary = binaryJournal();
    const QVector<JournalRow> binaryRows = decodeBinary(binary, mes317);

    // Memory first, while the process peak is still this dialog's.
    const long rssBefore = statusKiB("VmRSS:");
    auto dlg = std::make_unique<JournalViewDlg>(nullptr, text, QString(), QString());
    const long peak = statusKiB("VmHWM:");
    const long rssOpen = statusKiB("VmRSS:");
    std::printf("text journal, %d rows open: peak %.0f bytes/row, resident %.0f bytes/row\n",
                int(textRows.size()), (peak - rssBefore) * 1024.0 / textRows.size(),
                (rssOpen - rssBefore) * 1024.0 / textRows.size());

    // Quick search: one keystroke against one case-insensitive pass over all cell texts.
    dlg->show();
    QCoreApplication::processEvents();
    auto* table = dlg->findChild<QTableWidget*>(QStringLiteral("journalTable"));
    QStringList allTexts;
    for (int c = 0; c < table->columnCount(); ++c)
        for (int r = 0; r < table->rowCount(); ++r)
            allTexts << table->item(r, c)->text();
    auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("findEdit"));
    auto* matches = dlg->findChild<QSpinBox*>(QStringLiteral("matches"));
    // A keystroke that adds the last letter: the previous text's selection is
    // cleared, the table scanned and the new selection made; then the view repaints.
    for (const QString& needle : {UniqueText.toLower(), FrequentText, EverywhereText}) {
        int found = 0;
        const double floor = median([&] {
            return seconds([&] {
                found = 0;
                for (const QString& s : allTexts)
                    found += s.contains(needle, Qt::CaseInsensitive) ? 1 : 0;
            });
        });
        // First letter: nothing selected before. Last letter: the previous
        // text selected the same cells, which the keystroke clears first.
        double repaint = 0;
        const auto keystroke = [&](const QString& before) {
            return median([&] {
                edit->setText(before);
                QCoreApplication::processEvents();
                const double s = seconds([&] { edit->setText(needle); });
                repaint = seconds([] { QCoreApplication::processEvents(); });
                return s;
            });
        };
        const double first = keystroke(QString());
        const double last = keystroke(needle.chopped(1));
        std::printf("quick search \"%s\": %d cells (shows %d), floor %.4f s; keystroke from "
                    "empty %.4f s, ratio %.2f; adding the last letter %.4f s, ratio %.2f "
                    "(target <= 3); the view's repaint after it %.4f s\n",
                    qPrintable(needle), found, matches->value(), floor, first, first / floor, last,
                    last / floor, repaint);
    }
    dlg.reset();

    reportOpen("text journal", text, QString(), textRows, true);
    reportOpen("binary journal (344 blocks)", binary, mes317, binaryRows, false);
    // --no-naive skips the minute the per-row insertion takes.
    if (QCoreApplication::arguments().contains(QStringLiteral("--no-naive")))
        return 0;
    reportNaive("text journal", textRows, true);
    reportNaive("binary journal", binaryRows, false);
    return 0;
}
