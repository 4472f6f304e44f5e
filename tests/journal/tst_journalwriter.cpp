#include "journal/journaldecoder.h"
#include "journal/journalorder.h"
#include "journal/journaltime.h"
#include "journal/journalwriter.h"

#include <QBuffer>
#include <QtTest>

Q_DECLARE_METATYPE(JournalRow)

using JournalWriter::Format;

class TestJournalWriter : public QObject
{
    Q_OBJECT

private slots:
    void alignedHeader_data();
    void alignedHeader();
    void csvHeader();
    void rowLayout_data();
    void rowLayout();
    void writesUtf8WithLfOnly();
    void displayOrder_data();
    void displayOrder();
    void copyText_data();
    void copyText();
};

static QString spaces(int n)
{
    return QString(n, QLatin1Char(' '));
}

void TestJournalWriter::alignedHeader_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("header");
    QTest::addColumn<int>("dashes");
    const QString tail = spaces(34) + QStringLiteral("Message") + spaces(34) + QLatin1Char(':') +
                         spaces(7) + QStringLiteral("Source") + spaces(7);
    QTest::newRow("binary") << 3 << spaces(6) + QStringLiteral("Date") + spaces(7) + ':' + tail
                            << 115;
    QTest::newRow("text") << 4
                          << spaces(8) + QStringLiteral("Date") + spaces(9) + ':' + spaces(3) +
                                 QStringLiteral("Type") + spaces(3) + ':' + tail
                          << 125;
}

void TestJournalWriter::alignedHeader()
{
    QFETCH(int, columns);
    QFETCH(QString, header);
    QFETCH(int, dashes);
    const QString line = JournalWriter::headerLine(Format::AlignedText, columns);
    QCOMPARE(line, header);
    QCOMPARE(line.size(), columns == 3 ? 114 : 129);
    QCOMPARE(JournalWriter::dashLine(columns), QString(dashes, QLatin1Char('-')));
}

void TestJournalWriter::csvHeader()
{
    QCOMPARE(JournalWriter::headerLine(Format::Csv, 3), QStringLiteral("Date;Message;Source"));
    QCOMPARE(JournalWriter::headerLine(Format::Csv, 4), QStringLiteral("Date;Type;Message;Source"));
}

void TestJournalWriter::rowLayout_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<QString>("line");
    const QString longMessage(90, QLatin1Char('m'));
    QTest::newRow("binary fits") << int(Format::AlignedText)
                                 << QStringList{"05.03 07:08:09", QStringLiteral("Дверь"), "Src"}
                                 << QStringLiteral("05.03 07:08:09") + spaces(4) +
                                        QStringLiteral("Дверь") + spaces(71) + "Src" + spaces(18);
    QTest::newRow("long text whole, next field unshifted")
        << int(Format::AlignedText) << QStringList{"t", longMessage, "s"}
        << QStringLiteral("t") + spaces(17) + longMessage + "s" + spaces(20);
    QTest::newRow("text fits") << int(Format::AlignedText)
                               << QStringList{"12.03.13 10:15:00", "E", "Door open", "5"}
                               << QStringLiteral("12.03.13 10:15:00") + spaces(5) + "E" +
                                      spaces(10) + "Door open" + spaces(67) + "5" + spaces(20);
    QTest::newRow("csv quotes a separator, doubling quotes")
        << int(Format::Csv) << QStringList{"t", "a;b \"q\"", "s"}
        << QStringLiteral("t;\"a;b \"\"q\"\"\";s");
    QTest::newRow("csv quotes a quote alone")
        << int(Format::Csv) << QStringList{"\"", "x", "y"} << QStringLiteral("\"\"\"\";x;y");
    QTest::newRow("csv quotes line ends") << int(Format::Csv) << QStringList{"t", "a\nb", "c\rd"}
                                          << QStringLiteral("t;\"a\nb\";\"c\rd\"");
    QTest::newRow("csv leaves other cells as they are")
        << int(Format::Csv) << QStringList{" t ", "a, b\t'c'", QStringLiteral("Дверь")}
        << QStringLiteral(" t ;a, b\t'c';Дверь");
    QTest::newRow("csv empty cells")
        << int(Format::Csv) << QStringList{"", "", "", ""} << QStringLiteral(";;;");
}

void TestJournalWriter::rowLayout()
{
    QFETCH(int, format);
    QFETCH(QStringList, cells);
    QFETCH(QString, line);
    const QString got = JournalWriter::rowLine(Format(format), cells.size(), cells);
    QCOMPARE(got, line);
    if (format == int(Format::AlignedText) && cells.at(1).size() < 76)
        QCOMPARE(got.size(), cells.size() == 3 ? 115 : 130);
}

void TestJournalWriter::writesUtf8WithLfOnly()
{
    const QStringList cells{"01.02 03:04:05", QStringLiteral("Сброс"), QStringLiteral("АСУДД")};
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(JournalWriter::write(buffer, Format::Csv, 2, 3,
                                 [&](int, int column) { return cells.at(column); }));
    const QByteArray bytes = buffer.data();
    const QByteArray row = QStringLiteral("01.02 03:04:05;Сброс;АСУДД\n").toUtf8();
    QCOMPARE(bytes, QByteArray("Date;Message;Source\n") + row + row);
    QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
    QVERIFY(!bytes.contains('\r'));
}

static JournalRow row(qint64 order, const QString& message)
{
    return JournalRow{QString(), QString(), message, QString(), order};
}

void TestJournalWriter::displayOrder_data()
{
    QTest::addColumn<QVector<JournalRow>>("rows");
    QTest::addColumn<QStringList>("messages"); // expected, top to bottom
    QTest::newRow("empty") << QVector<JournalRow>{} << QStringList{};
    QTest::newRow("oldest first is reversed")
        << QVector<JournalRow>{row(0, "a"), row(1, "b"), row(2, "c")} << QStringList{"c", "b", "a"};
    QTest::newRow("equal times: later added above")
        << QVector<JournalRow>{row(5, "a"), row(5, "b"), row(4, "c"), row(5, "d")}
        << QStringList{"d", "b", "a", "c"};
    QTest::newRow("newest first as added")
        << QVector<JournalRow>{row(2, "a"), row(1, "b")} << QStringList{"a", "b"};
}

void TestJournalWriter::displayOrder()
{
    QFETCH(QVector<JournalRow>, rows);
    QFETCH(QStringList, messages);
    QStringList got;
    for (int i : JournalOrder::displayOrder(rows))
        got << rows.at(i).message;
    QCOMPARE(got, messages);
}

void TestJournalWriter::copyText_data()
{
    QTest::addColumn<QVector<int>>("rows");
    QTest::addColumn<QString>("controller");
    QTest::addColumn<QString>("text");
    const QString header = QStringLiteral("Date\tTime\tMessage\tSource\n");
    QTest::newRow("none") << QVector<int>{} << "25" << QString();
    QTest::newRow("in the order given, tabs and line breaks made spaces, a year not known")
        << QVector<int>{1, 0} << QString()
        << header + QStringLiteral("14.11.2026\t01.02 03:04:06\tДверь   открыта\tАСУДД\n"
                                   "\t01.02 03:04:05\ta;b\t\n");
    QTest::newRow("the controller first")
        << QVector<int>{1} << "25"
        << "Controller\t" + header +
               QStringLiteral("25\t14.11.2026\t01.02 03:04:06\tДверь   открыта\tАСУДД\n");
}

void TestJournalWriter::copyText()
{
    QFETCH(QVector<int>, rows);
    QFETCH(QString, controller);
    QFETCH(QString, text);
    const QList<QStringList> cells{
        {"01.02 03:04:05", "a;b", ""},
        {"01.02 03:04:06", QStringLiteral("Дверь\t\r\nоткрыта"), QStringLiteral("АСУДД")}};
    const QVector<qint64> when{JournalTime::Unknown,
                               JournalTime::fromFields(2026, 11, 14, 3, 10, 16)};
    QCOMPARE(JournalWriter::copyText(
                 rows, controller, {"Time", "Message", "Source"}, [&](int r) { return when.at(r); },
                 [&](int r, int c) { return cells.at(r).at(c); }),
             text);
}

QTEST_GUILESS_MAIN(TestJournalWriter)
#include "tst_journalwriter.moc"
