#include "core/downloadfile.h"
#include "core/journalversion.h"
#include "fleet/controllerlist.h"
#include "fleet/fleetwriter.h"
#include "fleet/journalfilter.h"
#include "fleet/journalmerge.h"
#include "journal/journaldecoder.h"
#include "journal/recordtime.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

// Many journals at once: years, filters, the merged order and the lines written.
class TestJournalFleet : public QObject
{
    Q_OBJECT

private slots:
    void inferYears_data();
    void inferYears();
    void parseMoment_data();
    void parseMoment();
    void filter_data();
    void filter();
    void mergeOrder_data();
    void mergeOrder();
    void jsonLinesParseBack();
    void idColumn();
    void controllerList();
};

namespace {

// "dd.MM hh:mm:ss" as a binary record shows it, or "dd.MM.yy hh:mm:ss".
RecordTime yearless(const QString& text)
{
    const QStringList p = text.split(QRegularExpression(QStringLiteral("[. :]")));
    return RecordTime(0, p.at(1).toInt(), p.at(0).toInt(), p.at(2).toInt(), p.at(3).toInt(),
                      p.at(4).toInt());
}

QDateTime at(const QString& iso)
{
    return QDateTime::fromString(iso, Qt::ISODate);
}

} // namespace

void TestJournalFleet::inferYears_data()
{
    QTest::addColumn<QStringList>("newestFirst");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QStringList>("iso"); // empty: no year, or no such day in it
    QTest::newRow("same year") << QStringList{"05.03 10:00:00", "01.03 09:00:00"}
                               << "2026-03-06T08:00:00"
                               << QStringList{"2026-03-05T10:00:00", "2026-03-01T09:00:00"};
    QTest::newRow("newest after the download: the year before")
        << QStringList{"20.11 10:00:00"} << "2026-03-06T08:00:00"
        << QStringList{"2025-11-20T10:00:00"};
    QTest::newRow("a controller's clock a little ahead")
        << QStringList{"06.03 12:00:00"} << "2026-03-06T11:50:00"
        << QStringList{"2026-03-06T12:00:00"};
    QTest::newRow("a clock set a month ahead is not a year behind")
        << QStringList{"10.04 10:00:00", "01.03 09:00:00"} << "2026-03-06T08:00:00"
        << QStringList{"2026-04-10T10:00:00", "2026-03-01T09:00:00"};
    QTest::newRow("over a new year")
        << QStringList{"02.01 00:10:00", "31.12 23:59:00", "15.11 08:00:00"}
        << "2026-01-03T08:00:00"
        << QStringList{"2026-01-02T00:10:00", "2025-12-31T23:59:00", "2025-11-15T08:00:00"};
    QTest::newRow("two new years")
        << QStringList{"10.02 00:00:00", "10.12 00:00:00", "10.01 00:00:00", "10.11 00:00:00"}
        << "2026-02-11T00:00:00"
        << QStringList{"2026-02-10T00:00:00", "2025-12-10T00:00:00", "2025-01-10T00:00:00",
                       "2024-11-10T00:00:00"};
    QTest::newRow("an invalid time is passed over")
        << QStringList{"05.03 10:00:00", "31.15 31:63:63", "01.02 09:00:00"}
        << "2026-03-06T08:00:00" << QStringList{"2026-03-05T10:00:00", "", "2026-02-01T09:00:00"};
    QTest::newRow("29 February of a common year")
        << QStringList{"01.03 10:00:00", "29.02 10:00:00"} << "2025-03-06T08:00:00"
        << QStringList{"2025-03-01T10:00:00", ""};
}

void TestJournalFleet::inferYears()
{
    QFETCH(QStringList, newestFirst);
    QFETCH(QString, written);
    QFETCH(QStringList, iso);
    QVector<RecordTime> times;
    for (const QString& t : newestFirst)
        times << yearless(t);
    RecordTime::inferYears(times, at(written).date());
    QStringList got;
    for (const RecordTime& t : times)
        got << t.toIso();
    QCOMPARE(got, iso);
}

void TestJournalFleet::parseMoment_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("iso"); // empty: refused
    // Now is 2 January 2026, 10:00.
    QTest::newRow("without a year: the last such moment") << "31.12 18:00"
                                                          << "2025-12-31T18:00:00";
    QTest::newRow("without a year, earlier today") << "02.01 09:00"
                                                   << "2026-01-02T09:00:00";
    QTest::newRow("two-digit year, seconds") << "2.1.26 9:05:30"
                                             << "2026-01-02T09:05:30";
    QTest::newRow("four-digit year") << "24.12.2026 18:00"
                                     << "2026-12-24T18:00:00";
    QTest::newRow("no such day") << "31.02 10:00"
                                 << "";
    QTest::newRow("no time") << "24.12"
                             << "";
    QTest::newRow("not a time") << "tomorrow"
                                << "";
    // As people type them.
    QTest::newRow("a time alone: the last such") << "18:00"
                                                 << "2026-01-01T18:00:00";
    QTest::newRow("a time alone, earlier today") << "9:30"
                                                 << "2026-01-02T09:30:00";
    QTest::newRow("ISO day") << "2025-11-14"
                             << "2025-11-14T00:00:00";
    QTest::newRow("ISO day and time") << "2025-11-14T03:10"
                                      << "2025-11-14T03:10:00";
    QTest::newRow("yesterday") << "yesterday"
                               << "2026-01-01T00:00:00";
    QTest::newRow("yesterday evening") << "yesterday 18:00"
                                       << "2026-01-01T18:00:00";
    QTest::newRow("today") << "today"
                           << "2026-01-02T00:00:00";
    QTest::newRow("29 February: the last there was") << "29.02 10:00"
                                                     << "2024-02-29T10:00:00";
    QTest::newRow("year 0") << "01.01.0000 10:00"
                            << "";
}

void TestJournalFleet::parseMoment()
{
    QFETCH(QString, text);
    QFETCH(QString, iso);
    const RecordTime t = JournalFilter::parseMoment(text, at("2026-01-02T10:00:00"));
    QCOMPARE(t.isValid() ? t.toIso() : QString(), iso);
}

void TestJournalFleet::filter_data()
{
    QTest::addColumn<QString>("since");
    QTest::addColumn<QString>("until");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<QList<int>>("taken");
    const QStringList none;
    QTest::newRow("no filter") << ""
                               << "" << none << none << QList<int>{0, 1, 2, 3, 4};
    QTest::newRow("a night, both ends inclusive; an unknown time is out")
        << "06.12.2026 18:00"
        << "07.12.2026 06:00" << none << none << QList<int>{0, 1, 3};
    QTest::newRow("text in any letter case, Cyrillic")
        << ""
        << "" << QStringList{"лампа"} << none << QList<int>{0, 3};
    QTest::newRow("any of several texts")
        << ""
        << "" << QStringList{"DOOR", "отказ"} << none << QList<int>{1, 2};
    QTest::newRow("the source cell") << ""
                                     << "" << QStringList{"центр"} << none << QList<int>{1};
    QTest::newRow("a type: text journals only") << ""
                                                << "" << none << QStringList{"W"} << QList<int>{3};
    QTest::newRow("time and text together")
        << "06.12.2026 18:00"
        << "" << QStringList{"лампа"} << none << QList<int>{0, 3};
}

void TestJournalFleet::filter()
{
    QFETCH(QString, since);
    QFETCH(QString, until);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, types);
    QFETCH(QList<int>, taken);
    struct Case
    {
        RecordTime time;
        bool text;
        JournalRow row;
    };
    const QVector<Case> rows = {
        {RecordTime(2026, 12, 6, 23, 10, 0),
         false,
         {"06.12 23:10:00", "", "Перегорела ЛАМПА группы 4", "Детектор"}},
        {RecordTime(2026, 12, 7, 3, 0, 0), false, {"07.12 03:00:00", "", "Door open", "Центр"}},
        {RecordTime(2026, 12, 6, 17, 59, 59),
         true,
         {"06.12.26 17:59:59", "E", "Отказ детектора 3", "5"}},
        {RecordTime(2026, 12, 7, 6, 0, 0), true, {"07.12.26 06:00:00", "w", "лампа", "7"}},
        {yearless("31.15 31:63:63"), false, {"31.15 31:63:63", "", "c8h 01h 02h 03h", "x"}},
    };
    JournalFilter f;
    const QDateTime now = at("2026-12-07T08:00:00");
    if (!since.isEmpty())
        f.setSince(JournalFilter::parseMoment(since, now));
    if (!until.isEmpty())
        f.setUntil(JournalFilter::parseMoment(until, now));
    for (const QString& t : texts)
        f.addText(t);
    for (const QString& t : types)
        f.addType(t);
    QList<int> got;
    for (int i = 0; i < rows.size(); ++i)
        if (f.acceptsTime(rows.at(i).time) &&
            (!f.needsRow() || f.acceptsRow(rows.at(i).row, rows.at(i).text)))
            got << i;
    QCOMPARE(got, taken);
}

void TestJournalFleet::mergeOrder_data()
{
    // Each journal: its controller id, then its entries' times in its own
    // order (newest first as stored); the order is written as "journal.position".
    QTest::addColumn<QList<QStringList>>("journals");
    QTest::addColumn<QStringList>("newestFirst");
    QTest::addColumn<QStringList>("oldestFirst");
    QTest::newRow("equal times: by controller id, then as stored")
        << QList<QStringList>{{"20", "2026-05-01T10:00:05", "2026-05-01T10:00:05"},
                              {"7", "2026-05-01T10:00:05", "2026-05-01T10:00:00"}}
        << QStringList{"1.0", "0.0", "0.1", "1.1"} << QStringList{"1.1", "1.0", "0.1", "0.0"};
    QTest::newRow("one controller in two files: in the order given")
        << QList<QStringList>{{"3", "2026-05-01T10:00:00"}, {"3", "2026-05-01T10:00:00"}}
        << QStringList{"0.0", "1.0"} << QStringList{"0.0", "1.0"};
    QTest::newRow("over a new year, as the texts would not sort")
        << QList<QStringList>{{"1", "2026-01-01T00:00:05", "2025-12-31T23:59:50"},
                              {"2", "2025-12-31T23:59:59", "2025-12-01T00:00:00"}}
        << QStringList{"0.0", "1.0", "0.1", "1.1"} << QStringList{"1.1", "0.1", "1.0", "0.0"};
    QTest::newRow("a clock set back within a journal")
        << QList<QStringList>{{"1", "2026-05-01T10:00:00", "2026-05-01T11:00:00",
                               "2026-05-01T09:00:00"}}
        << QStringList{"0.1", "0.0", "0.2"} << QStringList{"0.2", "0.0", "0.1"};
}

void TestJournalFleet::mergeOrder()
{
    QFETCH(QList<QStringList>, journals);
    QFETCH(QStringList, newestFirst);
    QFETCH(QStringList, oldestFirst);
    // In memory, and through the temporary file when nothing fits.
    for (const qint64 budget : {JournalMerge::DefaultBudget, qint64(0)}) {
        for (const bool oldest : {false, true}) {
            JournalMerge merge(oldest, budget);
            for (const QStringList& j : journals) {
                QVector<JournalMerge::Entry> entries;
                QByteArray bytes;
                for (int i = 1; i < j.size(); ++i) {
                    JournalMerge::Entry e;
                    e.key = RecordTime::fromDateTime(at(j.at(i))).key();
                    e.position = i - 1;
                    e.offset = bytes.size();
                    e.length = 1 + e.position; // bytes that name the position
                    bytes += QByteArray(e.length, char('0' + e.position));
                    entries << e;
                }
                merge.addJournal(j.first().toInt(), entries, bytes.constData());
            }
            QVERIFY2(merge.start(), qPrintable(merge.errorString()));
            QCOMPARE(merge.spilled(), budget == 0);
            QStringList got;
            JournalMerge::Taken t;
            while (merge.next(&t))
                got << QStringLiteral("%1.%2").arg(t.journal).arg(t.length - 1);
            QCOMPARE(got, oldest ? oldestFirst : newestFirst);
        }
    }
}

// Every line a JSON object whatever the texts hold, in valid UTF-8.
void TestJournalFleet::jsonLinesParseBack()
{
    const FleetWriter writer(FleetWriter::Format::JsonLines, true);
    QCOMPARE(writer.header(), QByteArray());
    const QString awkward = QStringLiteral("кавычка \" обратная \\ черта\tтаб\nстрока\x01") +
                            QChar(0xD800) + QStringLiteral(" end");
    const QVector<JournalRow> rows = {
        {"06.12 23:10:00", "", "Перегорела лампа группы 4", "Детектор"},
        {"07.12.26 03:00:00", "E", awkward, "5"},
    };
    const QStringList iso = {"2026-12-06T23:10:00", ""};
    const QStringList types = {"Вегал V3.17", ""};
    QByteArray out;
    for (int i = 0; i < rows.size(); ++i) {
        FleetWriter::Record r;
        r.controllerId = 1007 + i;
        r.controllerType = types.at(i);
        r.row = &rows.at(i);
        r.isoTime = iso.at(i);
        r.file = QStringLiteral("/journals/Jrn0100%1.bin").arg(7 + i);
        out += writer.line(r);
    }
    QCOMPARE(QString::fromUtf8(out).toUtf8(), out); // valid UTF-8 survives the round trip
    const QList<QByteArray> lines = out.split('\n');
    QCOMPARE(lines.size(), rows.size() + 1);
    QCOMPARE(lines.last(), QByteArray());
    for (int i = 0; i < rows.size(); ++i) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(lines.at(i), &error);
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
        const QJsonObject o = doc.object();
        QCOMPARE(o.value("controller").toInt(), 1007 + i);
        QCOMPARE(o.value("controllerType").toString(), types.at(i));
        QCOMPARE(o.value("controllerType").isNull(), types.at(i).isEmpty());
        QCOMPARE(o.value("time").toString(), rows.at(i).time);
        QCOMPARE(o.value("isoTime").isNull(), iso.at(i).isEmpty());
        QCOMPARE(o.value("isoTime").toString(), iso.at(i));
        QCOMPARE(o.value("type").isNull(), rows.at(i).type.isEmpty());
        QCOMPARE(o.value("source").toString(), rows.at(i).source);
        QCOMPARE(o.value("file").toString(), QStringLiteral("/journals/Jrn0100%1.bin").arg(7 + i));
        QString message = rows.at(i).message;
        message.replace(QChar(0xD800), QChar(0xFFFD));
        QCOMPARE(o.value("message").toString(), message);
    }
    const QJsonObject count =
        QJsonDocument::fromJson(writer.countLine(25, QStringLiteral("TM_HELIX"), 3)).object();
    QCOMPARE(count.value("controller").toInt(), 25);
    QCOMPARE(count.value("matches").toInt(), 3);
}

// Text and CSV: the viewer's layout with the controller id in front.
void TestJournalFleet::idColumn()
{
    const JournalRow row{"06.12 23:10:00", "", "Ошибка; код 5", "Детектор"};
    FleetWriter::Record r;
    r.controllerId = 25;
    r.row = &row;
    const FleetWriter csv(FleetWriter::Format::Csv, false);
    QCOMPARE(csv.header(), QByteArray("Id;Date;Message;Source\n"));
    QCOMPARE(QString::fromUtf8(csv.line(r)),
             QStringLiteral("25;06.12 23:10:00;\"Ошибка; код 5\";Детектор\n"));
    const FleetWriter text(FleetWriter::Format::Text, false);
    const QList<QByteArray> header = text.header().split('\n');
    const QString line = QString::fromUtf8(text.line(r));
    QCOMPARE(header.at(0).size(), 7 + 114);
    QCOMPARE(header.at(1).size(), 7 + 115);
    QVERIFY2(line.startsWith(QStringLiteral("25     06.12 23:10:00    Ошибка")), qPrintable(line));
    QCOMPARE(line.size(), 7 + 115 + 1);
}

void TestJournalFleet::controllerList()
{
    ControllerList list;
    QStringList warnings;
    // Wrong lines and an id with two types cost only themselves.
    const QStringList errors =
        list.parse("# id;type\r\n25;Вегал V3.16\r\n\r\n 7 ; TM_HELIX \n9;зелта\n-5\n0x3;tm_helix\n"
                   "3000000000;tm_helix\n3;Вегал V3.17\n3;Вегал V3.15\n3;Вегал V3.14\n-6;зелта\n",
                   &warnings);
    QCOMPARE(errors.size(), 4);
    QVERIFY2(errors.at(0).startsWith(QLatin1String("line 6:")), qPrintable(errors.at(0)));
    QVERIFY2(errors.at(3).startsWith(QLatin1String("line 10: controller 3")),
             qPrintable(errors.at(3)));
    QCOMPARE(warnings, QStringList());
    QCOMPARE(list.size(), 4);
    QCOMPARE(JournalVersion::forType(list.type(25)), 316);
    QCOMPARE(JournalVersion::forType(list.type(7)), int(JournalVersion::TextJournalTmHelix));
    QCOMPARE(JournalVersion::forType(list.type(9)), int(JournalVersion::TextJournalVegal));
    QCOMPARE(list.contains(3), false);
    QCOMPARE(list.conflicting(3), true);
    QCOMPARE(list.contains(-6), true);
    QCOMPARE(list.contains(4), false);
    // Saved in Windows-1251: read as such, with a warning.
    ControllerList cp1251;
    QCOMPARE(cp1251.parse(QTextCodec::codecForName("Windows-1251")
                              ->fromUnicode(QStringLiteral("1;Вегал V3.14\n")),
                          &warnings),
             QStringList());
    QCOMPARE(warnings.size(), 1);
    QCOMPARE(JournalVersion::forType(cp1251.type(1)), 314);

    // Written as the workstation keeps it, read back whole; a failed write says where.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("controllers.txt"));
    const ControllerList::Entries written = {{1, QStringLiteral("Вегал V3.16")},
                                             {1007, QStringLiteral("Зелта")},
                                             {25, QStringLiteral("tm_helix")}};
    QString error;
    QVERIFY2(ControllerList::write(path, written, &error), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    ControllerList read;
    QCOMPARE(read.parse(file.readAll()), QStringList());
    QCOMPARE(read.size(), written.size());
    for (const auto& c : written)
        QCOMPARE(read.type(c.first), c.second);
    QVERIFY(!ControllerList::write(dir.filePath(QStringLiteral("no/dir/c.txt")), written, &error));
    QVERIFY2(error.contains(QLatin1String("no/dir/c.txt")), qPrintable(error));
}

QTEST_MAIN(TestJournalFleet)
#include "tst_journalfleet.moc"
