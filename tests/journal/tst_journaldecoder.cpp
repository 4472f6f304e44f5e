#include "core/binaryjournal.h"
#include "journal/journaldecoder.h"

#include <QtTest>

// Binary records and text lines into rows, and the order of binary records.
class TestJournalDecoder : public QObject
{
    Q_OBJECT

private slots:
    void timeWord();
    void row_data();
    void row();
    void validTimeWords_data();
    void validTimeWords();
    void order_data();
    void order();
    void stopsAtErasedSpace_data();
    void stopsAtErasedSpace();
    void shortLastRecord();
    void boundOnMessageText_data();
    void boundOnMessageText();
    void textJournal_data();
    void textJournal();
};

namespace {

QString u(const char* s)
{
    return QString::fromUtf8(s);
}

quint32 word(uint month, uint day, uint hour, uint minute, uint second, uint source)
{
    return second | minute << 6 | hour << 12 | day << 17 | month << 22 | source << 26;
}

QByteArray record(quint32 w, uchar code = 1, uchar p1 = 0, uchar p2 = 0, uchar p3 = 0)
{
    QByteArray r(8, '\0');
    for (int i = 0; i < 4; ++i)
        r[i] = char(w >> (8 * i));
    r[4] = char(code);
    r[5] = char(p1);
    r[6] = char(p2);
    r[7] = char(p3);
    return r;
}

// A record whose message shows its own number, so the order of rows is readable.
QByteArray stamped(int n, uint minute, uint second)
{
    return record(word(3, 14, 10, minute, second, 1), 1, uchar(n));
}

JournalDecoder decoder()
{
    return JournalDecoder(
        {{1, u("#$i")}, {2, u("Неисправен модуль $1")}, {3, QString()}, {300, u("out of range")}},
        {{1, u("Календарная автоматика")}, {31, u("Отладочный модуль")}});
}

QStringList messagesOf(const QVector<JournalRow>& rows)
{
    QStringList list;
    for (const JournalRow& row : rows)
        list << row.message;
    return list;
}

QStringList numbered(std::initializer_list<int> numbers)
{
    QStringList list;
    for (int n : numbers)
        list << QStringLiteral("#%1").arg(n);
    return list;
}

} // namespace

void TestJournalDecoder::timeWord()
{
    const QByteArray r = QByteArray::fromHex("4d3c2b1a02000000");
    const JournalRow decoded = JournalDecoder({}, {{6, u("Клавиатура")}})
                                   .row(reinterpret_cast<const uchar*>(r.constData()), r.size());
    QCOMPARE(decoded.time, u("21.08 19:49:13"));
    QCOMPARE(decoded.source, u("Клавиатура"));
    QVERIFY(decoded.type.isEmpty());
}

void TestJournalDecoder::row_data()
{
    QTest::addColumn<QByteArray>("rec");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("source");

    const QString calendar = u("Календарная автоматика");
    QTest::newRow("formatted") << record(word(3, 5, 7, 8, 9, 1), 2, 2) << u("05.03 07:08:09")
                               << u("Неисправен модуль табло") << calendar;
    QTest::newRow("source 31 has no text")
        << record(word(3, 5, 7, 8, 9, 31), 2, 2, 3, 4) << u("05.03 07:08:09")
        << u("02h 02h 03h 04h") << u("Отладочный модуль");
    QTest::newRow("unknown code") << record(word(12, 31, 23, 59, 59, 1), 200, 1, 2, 3)
                                  << u("31.12 23:59:59") << u("c8h 01h 02h 03h") << calendar;
    QTest::newRow("empty text") << record(word(1, 1, 0, 0, 0, 1), 3, 0x5a, 0xff)
                                << u("01.01 00:00:00") << u("03h 5ah ffh 00h") << calendar;
    QTest::newRow("unnamed source") << record(word(1, 1, 0, 0, 0, 13), 1, 7) << u("01.01 00:00:00")
                                    << u("#7") << u("Not identified");
    QTest::newRow("out of range printed raw")
        << record(0xFFFFFFFF, 1, 9) << u("31.15 31:63:63") << u("#9") << u("Not identified");
    QTest::newRow("zero word") << record(0, 1, 0) << u("00.00 00:00:00") << u("#0")
                               << u("Not identified");
    QTest::newRow("short record: no text, zeros")
        << record(word(2, 3, 4, 5, 6, 1), 1, 0xab).left(6) << u("03.02 04:05:06")
        << u("01h abh 00h 00h") << calendar;
    QTest::newRow("two bytes") << QByteArray::fromHex("4d3c") << u("00.00 03:49:13")
                               << u("00h 00h 00h 00h") << u("Not identified");
    QTest::newRow("longer record") << record(word(2, 3, 4, 5, 6, 1), 1, 5) + "xyz"
                                   << u("03.02 04:05:06") << u("#5") << calendar;
}

void TestJournalDecoder::row()
{
    QFETCH(QByteArray, rec);
    QFETCH(QString, time);
    QFETCH(QString, message);
    QFETCH(QString, source);
    const JournalRow decoded =
        decoder().row(reinterpret_cast<const uchar*>(rec.constData()), rec.size());
    QCOMPARE(decoded.time, time);
    QCOMPARE(decoded.message, message);
    QCOMPARE(decoded.source, source);
}

void TestJournalDecoder::validTimeWords_data()
{
    QTest::addColumn<quint32>("w");
    QTest::addColumn<bool>("valid");

    QTest::newRow("ordinary") << word(8, 21, 19, 49, 13, 6) << true;
    // Without a year, 29 February is a date: some year has it.
    QTest::newRow("29 Feb") << word(2, 29, 0, 0, 0, 0) << true;
    QTest::newRow("30 Feb") << word(2, 30, 0, 0, 0, 0) << false;
    QTest::newRow("31 Apr") << word(4, 31, 0, 0, 0, 0) << false;
    QTest::newRow("31 Dec") << word(12, 31, 23, 59, 59, 63) << true;
    QTest::newRow("month 0") << word(0, 1, 0, 0, 0, 0) << false;
    QTest::newRow("month 13") << word(13, 1, 0, 0, 0, 0) << false;
    QTest::newRow("day 0") << word(1, 0, 0, 0, 0, 0) << false;
    QTest::newRow("hour 24") << word(1, 1, 24, 0, 0, 0) << false;
    QTest::newRow("minute 60") << word(1, 1, 0, 60, 0, 0) << false;
    QTest::newRow("second 60") << word(1, 1, 0, 0, 60, 0) << false;
}

void TestJournalDecoder::validTimeWords()
{
    QFETCH(quint32, w);
    QFETCH(bool, valid);
    QCOMPARE(BinaryJournal::Stamp::of(w).isValid(), valid);
}

void TestJournalDecoder::order_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("expected");

    // Two full blocks (12 records each) and a short one.
    QByteArray oldestFirst, newestFirst;
    for (int n = 0; n < 28; ++n) {
        oldestFirst += stamped(n, uint(n / 12), uint(n % 12));
        newestFirst += stamped(n, uint(59 - n / 12), uint(59 - n % 12));
    }
    QStringList reversed;
    for (int block : {0, 12, 24}) {
        const int last = qMin(block + 12, 28) - 1;
        for (int n = last; n >= block; --n)
            reversed << QStringLiteral("#%1").arg(n);
    }
    QStringList asStored;
    for (int n = 0; n < 28; ++n)
        asStored << QStringLiteral("#%1").arg(n);

    QTest::newRow("oldest first: each block reversed") << oldestFirst << reversed;
    QTest::newRow("newest first: as stored") << newestFirst << asStored;
    QTest::newRow("empty") << QByteArray() << QStringList();

    QByteArray same;
    for (int n = 0; n < 15; ++n)
        same += stamped(n, 5, 5);
    QTest::newRow("equal stamps: as stored")
        << same << numbered({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});

    // Invalid records and equal pairs are passed over; the first real pair decides.
    QByteArray invalidFirst = record(0x00000000, 1, 0) + record(word(1, 1, 25, 0, 0, 1), 1, 1) +
                              stamped(2, 1, 1) + stamped(3, 1, 1) + stamped(4, 1, 2) +
                              stamped(5, 1, 0);
    QTest::newRow("invalid and equal pairs skipped")
        << invalidFirst << numbered({5, 4, 3, 2, 1, 0});

    // A record out of range between two valid ones does not pair them.
    QByteArray gap = stamped(0, 1, 5) + record(word(15, 1, 0, 0, 0, 1), 1, 1) + stamped(2, 1, 9);
    QTest::newRow("out-of-range record breaks the pair") << gap << numbered({0, 1, 2});

    // The first block says newest first, the second oldest first: all blocks reversed.
    QByteArray mixed = stamped(0, 2, 2) + stamped(1, 2, 1);
    for (int n = 2; n < 12; ++n)
        mixed += stamped(n, 0, 0);
    mixed += stamped(12, 3, 1) + stamped(13, 3, 2);
    QTest::newRow("a later block decides oldest first")
        << mixed << numbered({11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 13, 12});

    // Over New Year, as records are written in the first weeks of a year.
    const auto at = [](int n, uint month, uint day, uint hour, uint minute, uint second) {
        return record(word(month, day, hour, minute, second, 1), 1, uchar(n));
    };
    QTest::newRow("new year, block newest first")
        << at(0, 1, 1, 0, 0, 5) + at(1, 12, 31, 23, 59, 55) + at(2, 12, 31, 23, 59, 50)
        << numbered({0, 1, 2});
    QTest::newRow("new year, block oldest first")
        << at(0, 12, 31, 23, 59, 55) + at(1, 1, 1, 0, 0, 5) + at(2, 1, 1, 0, 0, 9)
        << numbered({2, 1, 0});
    QByteArray twoYears;
    for (int n = 0; n < 12; ++n) // 02.01 back to 31.12 of the year before
        twoYears += at(n, n < 6 ? 1 : 12, n < 6 ? 2 : 31, 12, uint(59 - n), 0);
    for (int n = 12; n < 24; ++n) // a year earlier, the same again
        twoYears += at(n, n < 18 ? 1 : 12, n < 18 ? 2 : 31, 10, uint(59 - n), 0);
    QStringList twoYearsStored;
    for (int n = 0; n < 24; ++n)
        twoYearsStored << QStringLiteral("#%1").arg(n);
    QTest::newRow("two new years, newest first") << twoYears << twoYearsStored;

    // Pairs never straddle two blocks.
    QByteArray straddle;
    for (int n = 0; n < 12; ++n)
        straddle += stamped(n, 0, 0);
    straddle += stamped(12, 0, 1);
    QTest::newRow("no pair across blocks")
        << straddle << numbered({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
}

void TestJournalDecoder::order()
{
    QFETCH(QByteArray, data);
    QFETCH(QStringList, expected);
    QCOMPARE(messagesOf(decoder().decodeBinary(data)), expected);
}

void TestJournalDecoder::stopsAtErasedSpace_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("expected");

    const QByteArray erased(8, char(0xFF));
    QTest::newRow("erased first") << erased + stamped(1, 0, 0) << QStringList();
    QTest::newRow("erased after two")
        << stamped(0, 0, 9) + stamped(1, 0, 8) + erased + stamped(3, 0, 1) << numbered({0, 1});
    // Reversed block: the erased tail comes first in the stream.
    QTest::newRow("erased tail of an oldest-first block")
        << stamped(0, 0, 1) + stamped(1, 0, 2) + erased << QStringList();
    QTest::newRow("only the first byte counts")
        << record(0x000000FF, 1, 4) + record(0xFFFFFF00, 1, 5) << QStringList();
    QTest::newRow("FF elsewhere is data") << record(0xFFFFFF00, 1, 5) << numbered({5});
}

void TestJournalDecoder::stopsAtErasedSpace()
{
    QFETCH(QByteArray, data);
    QFETCH(QStringList, expected);
    QCOMPARE(messagesOf(decoder().decodeBinary(data)), expected);
}

void TestJournalDecoder::shortLastRecord()
{
    // Oldest first: the incomplete record is the last of its block and so comes first.
    const QByteArray data = stamped(0, 0, 1) + stamped(1, 0, 2) + stamped(2, 0, 3).left(5);
    const QVector<JournalRow> rows = decoder().decodeBinary(data);
    QCOMPARE(messagesOf(rows), QStringList({u("01h 00h 00h 00h"), u("#1"), u("#0")}));
    QCOMPARE(rows.at(0).time, u("14.03 10:00:03"));
}

void TestJournalDecoder::boundOnMessageText_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<bool>("decoded");
    // Every message as long as one may be.
    const int perRecord = MessageTemplate::MaxExpandedLength;
    const int atBound = int(JournalDecoder::MaxMessageText / perRecord);
    QTest::newRow("at the bound") << atBound << true;
    QTest::newRow("one record more") << atBound + 1 << false;
}

void TestJournalDecoder::boundOnMessageText()
{
    QFETCH(int, records);
    QFETCH(bool, decoded);
    const JournalDecoder longText(
        {{1, QString(MessageTemplate::MaxExpandedLength, QLatin1Char('m'))}}, {});
    bool tooMuch = !decoded;
    const QVector<JournalRow> rows =
        longText.decodeBinary(record(word(3, 14, 10, 0, 0, 1)).repeated(records), {}, &tooMuch);
    QCOMPARE(tooMuch, !decoded);
    QCOMPARE(rows.size(), decoded ? records : 0);
}

void TestJournalDecoder::textJournal_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("expected");

    const QByteArray line("12.03.13 10:15:00 E 5 Door open");
    const QString row = u("12.03.13 10:15:00|E|Door open|5");
    QTest::newRow("one line") << line + '\0' << QStringList{row};
    QTest::newRow("bytes after the last NUL are ignored") << line + '\0' + line << QStringList{row};
    QTest::newRow("runs of spaces")
        << QByteArray("12.03.13   10:15:00  E    5   Door  open ") + '\0'
        << QStringList{u("12.03.13 10:15:00|E|Door  open |5")};
    QTest::newRow("leading space: skipped") << ' ' + line + '\0' + line + '\0' << QStringList{row};
    QTest::newRow("not a digit: skipped")
        << QByteArray("Header line here") + '\0' + line + '\0' << QStringList{row};
    QTest::newRow("no space ends the journal")
        << line + '\0' + "garbage" + '\0' + line + '\0' << QStringList{row};
    QTest::newRow("empty line ends the journal")
        << line + '\0' + '\0' + line + '\0' << QStringList{row};
    QTest::newRow("missing source separator ends the journal")
        << line + '\0' + "12.03.13 10:15:00 E 5" + '\0' + line + '\0' << QStringList{row};
    QTest::newRow("missing type separator ends the journal")
        << QByteArray("1 2 3") + '\0' + line + '\0' << QStringList();
    QTest::newRow("empty message") << QByteArray("1 2 3 4 ") + '\0' << QStringList{u("1 2|3||4")};
    QTest::newRow("UTF-8 fields, Windows-1251 message")
        << QByteArray("1.1 \xd0\x9f\xd0\xb4 \xd0\xa2 \xd0\x98 \xc4\xe2\xe5\xf0\xfc") + '\0'
        << QStringList{u("1.1 Пд|Т|Дверь|И")};
    QTest::newRow("no NUL at all") << line << QStringList();
    QTest::newRow("empty") << QByteArray() << QStringList();
}

void TestJournalDecoder::textJournal()
{
    QFETCH(QByteArray, data);
    QFETCH(QStringList, expected);
    QStringList rows;
    for (const JournalRow& r : JournalDecoder::decodeText(data))
        rows << r.time + QLatin1Char('|') + r.type + QLatin1Char('|') + r.message +
                    QLatin1Char('|') + r.source;
    QCOMPARE(rows, expected);
}

QTEST_GUILESS_MAIN(TestJournalDecoder)
#include "tst_journaldecoder.moc"
