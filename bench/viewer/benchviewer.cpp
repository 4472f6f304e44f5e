// bench-viewer: how close the journal viewer comes to the floor of what a
// QTableWidget needs for the same journal, what per-row sorted insertion
// would cost, how long opens show progress and what a row costs in memory,
// and what one quick-search keystroke costs against one plain scan of the
// same texts. Runs offscreen unless QT_QPA_PLATFORM names another platform;
// --help lists the options.

#include "bench/headless.h"
#include "bench/processmemory.h"
#include "core/downloadfile.h"
#include "journal/journaldecoder.h"
#include "journal/journalopener.h"
#include "journal/journaltable.h"
#include "journal/journalviewdlg.h"
#include "journal/messagedefinitionparser.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressDialog>
#include <QRandomGenerator>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextCodec>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

#include <malloc.h>

namespace {

constexpr int TextLines = 200000;
constexpr int BinaryBlocks = 344;
constexpr int Repeats = 5;
constexpr double NaiveBudgetSeconds = 60.0;
const QString UniqueText = QStringLiteral("Уникальное событие 4711");
const QString FrequentText = QStringLiteral("зелён");   // in the Source of about 60% of lines
const QString OtherText = QStringLiteral("клавиатура"); // in the Source of about 20% of lines

// Calls back for every widget shown, while it is alive.
class ShowWatcher : public QObject
{
public:
    explicit ShowWatcher(std::function<void(QWidget*)> shown) : m_shown(std::move(shown))
    {
        qApp->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType())
            m_shown(static_cast<QWidget*>(watched));
        return false;
    }

private:
    std::function<void(QWidget*)> m_shown;
};

double seconds(const std::function<void()>& work)
{
    QElapsedTimer t;
    t.start();
    work();
    return t.nsecsElapsed() / 1e9;
}

// The middle of the figures, sorted: the least disturbed by the rest of the
// machine either way.
double middle(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

double median(const std::function<double()>& run)
{
    QVector<double> v;
    for (int i = 0; i < Repeats; ++i)
        v << run();
    return middle(std::move(v));
}

// Lines oldest first, one to four per second, as a controller logs them.
QByteArray textJournal(int lines = TextLines)
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
    data.reserve(lines * 90);
    qint64 second = 0;
    for (int i = 0; i < lines; ++i) {
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
            i == lines / 2 ? UniqueText : messages.at(int(rng.bounded(messages.size())));
        data += (date + ' ' + time + ' ' + (i % 3 ? 'I' : 'E') + ' ' + source + ' ').toUtf8();
        data += cp1251->fromUnicode(message);
        data += '\0';
    }
    return data;
}

// Blocks of 12 records, stored newest first, with the codes of the 3.17 file.
QByteArray binaryJournal(int blocks = BinaryBlocks)
{
    QRandomGenerator rng(317);
    const int codes[] = {6, 14, 19, 31, 47, 52, 53, 78, 80, 83, 84, 85, 93, 96, 102, 110, 135};
    QByteArray data;
    int minute = 0;
    data.reserve(blocks * 96);
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
    JournalTable table;
    table.horizontalHeader()->setSortIndicator(0, Qt::DescendingOrder);
    return seconds([&] { table.fill(rows, text); });
}

double openDialog(const QByteArray& data, const QString& mesPath)
{
    std::unique_ptr<JournalViewDlg> dlg;
    return seconds([&] {
        dlg = std::make_unique<JournalViewDlg>(nullptr, data, QString());
        dlg->load(mesPath);
    });
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
        JournalTable table;
        table.fill(rows, text);
        return seconds([&] { table.resizeColumnsToContents(); });
    });
    std::printf("%s, %d rows: open to filled table %.3f s, floor %.3f s, ratio %.2f "
                "(target <= 1.5)\n  of it: empty dialog %.4f s, decoding %.4f s, "
                "ordered fill and sort %.4f s, column resize %.4f s\n",
                name, int(rows.size()), ours, floor, ours / floor, empty, decode, fill, resize);
}

// What the timeline adds to an open of a text journal: the viewer opened,
// shown and painted once with it and without it, the runs alternating.
void reportTimeline(const QByteArray& text, int rows)
{
    const auto open = [&](bool timeline) {
        JournalViewDlg::setTimelineShown(timeline);
        std::unique_ptr<JournalViewDlg> dlg;
        return seconds([&] {
            dlg = std::make_unique<JournalViewDlg>(nullptr, text, QString());
            dlg->load(QString());
            dlg->show();
            QCoreApplication::processEvents();
        });
    };
    QVector<double> with, without;
    for (int i = 0; i < Repeats; ++i) {
        without << open(false);
        with << open(true);
    }
    JournalViewDlg::setTimelineShown(true);
    const double w = middle(with);
    const double wo = middle(without);
    std::printf("text journal, %d rows: open and first paint with the timeline %.3f s, without "
                "%.3f s, ratio %.3f (target <= 1.05)\n",
                rows, w, wo, w / wo);
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

// Shows the viewer for data through the opener, as the queue's View does:
// time to the first progress, time to the shown viewer (or to the return
// after cancelling at the first progress), and resident memory per row.
void reportLongOpen(const char* name, const QByteArray& data, int version, int rows, bool cancel)
{
    trimHeap();
    const long before = statusKiB("VmRSS:");
    const size_t heapBefore = mallinfo2().uordblks;
    QElapsedTimer clock;
    qint64 firstProgress = -1;
    qint64 cancelledAt = -1;
    ShowWatcher watcher([&](QWidget* w) {
        auto* progress = qobject_cast<QProgressDialog*>(w);
        if (!progress || firstProgress >= 0)
            return;
        firstProgress = clock.nsecsElapsed();
        if (cancel) {
            cancelledAt = clock.nsecsElapsed();
            progress->cancel();
        }
    });
    clock.start();
    QWidget* dlg = JournalOpener::showJournal(nullptr, version, data, QDir(QDir::tempPath()));
    const double open = clock.nsecsElapsed() / 1e9;
    QCoreApplication::processEvents();
    const long after = statusKiB("VmRSS:");
    const long peak = statusKiB("VmHWM:");
    const double heap = (double(mallinfo2().uordblks) - double(heapBefore)) / rows;
    if (cancel) {
        std::printf("%s, %d rows, cancelled at the first progress (%.3f s): viewer %s, back "
                    "%.3f s later; resident %+.0f bytes/row against before the open\n",
                    name, rows, firstProgress / 1e9, dlg ? "shown (wrong)" : "not shown",
                    open - cancelledAt / 1e9, (after - before) * 1024.0 / rows);
    } else {
        std::printf("%s, %d rows: first progress after %s s, viewer shown after %.3f s; "
                    "resident %.0f bytes/row with the viewer open, of it %.0f in use on the heap "
                    "(process peak %.0f bytes/row)\n",
                    name, rows,
                    firstProgress < 0 ? "(none)"
                                      : qPrintable(QString::number(firstProgress / 1e9, 'f', 3)),
                    open, (after - before) * 1024.0 / rows, heap, (peak - before) * 1024.0 / rows);
    }
    delete dlg;
}

// One keystroke against one case-insensitive pass over the same cell texts in
// a plain vector, for a needle found once and one found in about 120,000 cells.
void reportSearch(const QByteArray& text)
{
    JournalViewDlg dlg(nullptr, text, QString());
    dlg.load(QString());
    dlg.show();
    QCoreApplication::processEvents();
    auto* table = dlg.findChild<QTableWidget*>(QStringLiteral("journalTable"));
    QVector<QString> allTexts;
    allTexts.reserve(table->rowCount() * table->columnCount());
    for (int c = 0; c < table->columnCount(); ++c)
        for (int r = 0; r < table->rowCount(); ++r)
            allTexts << table->item(r, c)->text();
    auto* edit = dlg.findChild<QLineEdit*>(QStringLiteral("findEdit"));
    auto* matches = dlg.findChild<QSpinBox*>(QStringLiteral("matches"));
    for (const QString& needle : {UniqueText.toLower(), FrequentText}) {
        int found = 0;
        const double floor = median([&] {
            return seconds([&] {
                found = 0;
                for (const QString& s : allTexts)
                    found += s.contains(needle, Qt::CaseInsensitive) ? 1 : 0;
            });
        });
        // The keystroke sets the text; the event loop then runs the rest of
        // the search, if any, and repaints. Each run also notes the longest
        // the keystroke or one pass keeps the GUI from taking the next key.
        int passes = 0;
        QVector<double> holds;
        const auto keystroke = [&](const QString& before) {
            return median([&] {
                edit->setText(before);
                while (dlg.isSearching())
                    QCoreApplication::processEvents();
                QCoreApplication::processEvents();
                passes = 0;
                double held = 0;
                QElapsedTimer total;
                total.start();
                held = std::max(held, seconds([&] { edit->setText(needle); }));
                while (dlg.isSearching()) {
                    held = std::max(held, seconds([] { QCoreApplication::processEvents(); }));
                    ++passes;
                }
                held = std::max(held, seconds([] { QCoreApplication::processEvents(); }));
                ++passes;
                const double s = total.nsecsElapsed() / 1e9;
                holds << held;
                return s;
            });
        };
        const double first = keystroke(QString());
        const int firstPasses = passes;
        const double last = keystroke(needle.chopped(1));
        const int lastPasses = passes;
        // Another search's selection, of about 40,000 cells, dropped first.
        const double replacing = keystroke(OtherText);
        std::sort(holds.begin(), holds.end());
        std::printf("quick search \"%s\": %d cells (shows %d), scan of %d texts %.4f s; "
                    "keystroke from empty %.4f s (%d passes), ratio %.2f; adding the last "
                    "letter %.4f s (%d passes), ratio %.2f; replacing the search for \"%s\" "
                    "%.4f s, ratio %.2f (target <= 2); the GUI held at most %.4f s at a time "
                    "(median of runs), %.4f s (worst run)\n",
                    qPrintable(needle), found, matches->value(), int(allTexts.size()), floor, first,
                    firstPasses, first / floor, last, lastPasses, last / floor,
                    qPrintable(OtherText), replacing, replacing / floor, holds.at(holds.size() / 2),
                    holds.last());
        // "Only matches": checking it hides the other rows; then a keystroke with it on.
        auto* only = dlg.findChild<QCheckBox*>(QStringLiteral("onlyMatches"));
        const double hide = seconds([&] {
            only->setChecked(true);
            QCoreApplication::processEvents();
        });
        const double filtered = keystroke(needle.chopped(1));
        const double show = seconds([&] {
            only->setChecked(false);
            QCoreApplication::processEvents();
        });
        std::printf("  \"Only matches\": checking it %.4f s, adding the last letter with it "
                    "%.4f s, clearing it %.4f s\n",
                    hide, filtered, show);
    }
}

// A click on the Message header and one on the Time header of a shown viewer
// of a text journal of this many lines, with "Only matches" off and with it on
// for a text in about a fifth of the rows (most rows hidden). One run each.
void reportSort(int lines)
{
    JournalViewDlg dlg(nullptr, textJournal(lines), QString());
    dlg.load(QString());
    dlg.show();
    QCoreApplication::processEvents();
    auto* table = dlg.findChild<QTableWidget*>(QStringLiteral("journalTable"));
    auto* edit = dlg.findChild<QLineEdit*>(QStringLiteral("findEdit"));
    auto* only = dlg.findChild<QCheckBox*>(QStringLiteral("onlyMatches"));
    QHeaderView* header = table->horizontalHeader();
    // What a click on a header does: the other order on the sorted column,
    // ascending on another one.
    const auto click = [&](int column) {
        const Qt::SortOrder order = header->sortIndicatorSection() == column &&
                                            header->sortIndicatorOrder() == Qt::AscendingOrder
                                        ? Qt::DescendingOrder
                                        : Qt::AscendingOrder;
        return seconds([&] {
            table->sortByColumn(column, order);
            QCoreApplication::processEvents();
        });
    };
    edit->setText(OtherText);
    while (dlg.isSearching())
        QCoreApplication::processEvents();
    const double plainMessage = click(2);
    const double plainTime = click(0);
    only->setChecked(true);
    QCoreApplication::processEvents();
    int shown = 0;
    for (int r = 0; r < table->rowCount(); ++r)
        shown += table->isRowHidden(r) ? 0 : 1;
    const double filteredMessage = click(2);
    const double filteredTime = click(0);
    std::printf("sorting %d rows by a header click: Message %.3f s, Time %.3f s; with \"Only "
                "matches\" (%d rows shown) Message %.3f s, Time %.3f s; ratio %.2f, %.2f "
                "(target <= 1.5)\n",
                table->rowCount(), plainMessage, plainTime, shown, filteredMessage, filteredTime,
                filteredMessage / plainMessage, filteredTime / plainTime);
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
    const int version = text ? JournalVersion::TextJournalTmHelix : 317;
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
    runOffscreenUnlessAsked();
    QApplication app(argc, argv);
    // What the viewers keep (size, column widths) stays in this run, out of the user's settings.
    const QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Opening, filling and quick-searching the journal viewer against the floor of the same "
        "work in a plain table, the cost of per-row sorted insertion, the progress of long "
        "opens and the memory per row."));
    parser.addHelpOption();
    const QCommandLineOption noNaiveOption(
        QStringLiteral("no-naive"),
        QStringLiteral("Skip the per-row sorted insertion (about a minute)."));
    const QCommandLineOption searchOnlyOption(QStringLiteral("search-only"),
                                              QStringLiteral("Only the quick search's figures."));
    const QCommandLineOption largestOption(
        QStringLiteral("largest"),
        QStringLiteral("Only the view's peak memory on the largest journal of this kind (binary "
                       "or text) the module opens."),
        QStringLiteral("kind"));
    const QCommandLineOption timelineOption(
        QStringLiteral("timeline-only"),
        QStringLiteral("Only the opening time with and without the timeline."));
    const QCommandLineOption sortOption(
        QStringLiteral("sort-only"),
        QStringLiteral("Only sorting 200,000 and 480,000 rows with and without \"Only matches\"."));
    parser.addOptions({timelineOption, sortOption, noNaiveOption, searchOnlyOption, largestOption});
    parser.process(app);
    if (parser.isSet(largestOption))
        return reportLargest(parser.value(largestOption));
    std::printf("bench-viewer (platform %s)\n", qPrintable(QGuiApplication::platformName()));

    if (parser.isSet(sortOption)) {
        reportSort(200000);
        reportSort(480000);
        return 0;
    }
    const QByteArray text = textJournal();
    const QVector<JournalRow> textRows = JournalDecoder::decodeText(text);
    const QString mes317 = QStringLiteral(":/mes_files/Notepad.mes.317");
    const QByteArray binary = binaryJournal();
    const QVector<JournalRow> binaryRows = decodeBinary(binary, mes317);

    if (parser.isSet(timelineOption)) {
        reportTimeline(text, textRows.size());
        return 0;
    }
    if (parser.isSet(searchOnlyOption)) {
        reportSearch(text);
        return 0;
    }
    // Memory first, while the process peak is still the journal's own.
    reportLongOpen("text journal", text, JournalVersion::TextJournalVegal, textRows.size(), false);
    // The largest binary journal the viewer opens (a 16 MiB one holds four times as many records).
    const QByteArray big = binaryJournal(JournalOpener::maxRows / 12);
    const int bigRows = decodeBinary(big, mes317).size();
    reportLongOpen("largest binary journal opened", big, 317, bigRows, false);
    reportLongOpen("largest binary journal opened", big, 317, bigRows, true);

    reportSearch(text);

    reportOpen("text journal", text, QString(), textRows, true);
    reportOpen("binary journal (344 blocks)", binary, mes317, binaryRows, false);
    reportTimeline(text, textRows.size());
    reportSort(200000);
    reportSort(480000);
    if (parser.isSet(noNaiveOption))
        return 0;
    reportNaive("text journal", textRows, true);
    reportNaive("binary journal", binaryRows, false);
    return 0;
}
