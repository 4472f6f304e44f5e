#include "queue/journalprotocol.h"

#include <QtTest>

namespace {

// A block of records; records listed in erased are written as 0xFF space.
QByteArray records(int count, char fill, QList<int> erased = {})
{
    QByteArray block;
    for (int r = 0; r < count; ++r)
        block += QByteArray(8, erased.contains(r) ? char(0xFF) : char(fill + r));
    return block;
}

// A binary record of second t of a day (a valid stamp), or a text line of it.
QByteArray entry(int t, bool marked, int code = 1)
{
    if (marked)
        return QStringLiteral("10.02.26 %1:%2:%3 I 4 event %4")
                   .arg(t / 3600 % 24, 2, 10, QLatin1Char('0'))
                   .arg(t / 60 % 60, 2, 10, QLatin1Char('0'))
                   .arg(t % 60, 2, 10, QLatin1Char('0'))
                   .arg(code)
                   .toLatin1() +
               '\0';
    const quint32 word = quint32(t % 60) | quint32(t / 60 % 60) << 6 |
                         quint32(t / 3600 % 24) << 12 | 10u << 17 | 2u << 22;
    QByteArray r(8, char(code));
    for (int i = 0; i < 4; ++i)
        r[i] = char(word >> (8 * i));
    return r;
}

// A journal of count entries, newest first, a few seconds apart.
QByteArray journal(int count, bool marked, int newest = 40000)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += entry(newest - 7 * i, marked, i % 5);
    return out;
}

QueueItem item(int expected, bool marked = false)
{
    QueueItem i;
    i.expected = expected;
    i.isTmHelix = marked;
    return i;
}

} // namespace

class TestJournalProtocol : public QObject
{
    Q_OBJECT

private slots:
    void wrongAnswers_data();
    void wrongAnswers();
    void unmarkedEnd_data();
    void unmarkedEnd();
    void ceilingOf344Blocks();
    void unmarkedSequence_data();
    void unmarkedSequence();
    void emptyBlockKeepsReceivedData();
    void markedEnd_data();
    void markedEnd();
    void markedLimitKeepsBlocksUncut();
    void stopMarker_data();
    void stopMarker();
    void stopMarkerAcrossBlocksForText();
    void stopMarkerOf_data();
    void stopMarkerOf();
    void continued_data();
    void continued();
    void writesWhileRead_data();
    void writesWhileRead();
};

void TestJournalProtocol::wrongAnswers_data()
{
    QTest::addColumn<bool>("marked");
    QTest::addColumn<QVariantList>("data");
    const QByteArray block = records(4, 1);
    QTest::newRow("one element") << false << QVariantList{0};
    QTest::newRow("block is a list") << false << QVariantList{0, QVariantList{block}};
    QTest::newRow("block is a map") << false << QVariantList{0, QVariantMap{{"b", block}}};
    QTest::newRow("block is a number") << false << QVariantList{0, 42};
    QTest::newRow("text journal block is a list") << true << QVariantList{0, QVariantList{}};
    QTest::newRow("number is no number") << false << QVariantList{"x", block};
    QTest::newRow("number is missing") << false << QVariantList{QVariant(), block};
    QTest::newRow("number is negative") << false << QVariantList{-1, block};
    QTest::newRow("number is fractional") << false << QVariantList{0.5, block};
}

void TestJournalProtocol::wrongAnswers()
{
    QFETCH(bool, marked);
    QFETCH(QVariantList, data);
    QueueItem i = item(-1, marked);
    const AnswerOutcome out = JournalProtocol::handleBlock(i, data);
    QCOMPARE(out.action, AnswerOutcome::Fail);
    QCOMPARE(out.failure, AnswerOutcome::WrongAnswer);
    QVERIFY(!out.retryable);
    QVERIFY(i.buffer.isEmpty());
}

void TestJournalProtocol::unmarkedEnd_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("ends");
    QTest::newRow("full block goes on") << records(12, 1) << false;
    QTest::newRow("0xFF record at 0") << records(12, 1, {0}) << true;
    QTest::newRow("0xFF record at 8") << records(12, 1, {1}) << true;
    QTest::newRow("0xFF record at 16") << records(12, 1, {2}) << true;
    QTest::newRow("0xFF inside a record is data")
        << records(1, 1) + QByteArray("\x01\xFF\x02\x03\x04\x05\x06\x07", 8) << false;
    QTest::newRow("empty block") << QByteArray() << true;
}

void TestJournalProtocol::unmarkedEnd()
{
    QFETCH(QByteArray, block);
    QFETCH(bool, ends);
    QueueItem i = item(-1);
    i.buffer = records(12, 50);
    i.loaded = 1;
    const AnswerOutcome out = JournalProtocol::handleBlock(i, {1, block});
    QCOMPARE(out.action, ends ? AnswerOutcome::Complete : AnswerOutcome::RequestNext);
    // An ending block contributes the records in front of its erased space.
    const int erased = block.isEmpty() ? 0 : int(block.indexOf(char(0xFF))) & ~7;
    QCOMPARE(i.buffer, records(12, 50) + (ends ? block.left(erased) : block));
    QCOMPARE(i.loaded, ends ? 1 : 2);
    if (!ends) {
        QCOMPARE(out.loadedText, AnswerOutcome::Blocks);
        QCOMPARE(out.loadedValue, 2);
    }
}

void TestJournalProtocol::ceilingOf344Blocks()
{
    QueueItem i = item(0);
    AnswerOutcome out;
    int answers = 0;
    do {
        out = JournalProtocol::handleBlock(i, {i.loaded, records(1, 1)});
        ++answers;
    } while (out.action == AnswerOutcome::RequestNext && answers < 1000);
    QCOMPARE(answers, 344);
    QCOMPARE(out.action, AnswerOutcome::Complete);
    QCOMPARE(i.buffer.size(), 344 * 8);
}

void TestJournalProtocol::unmarkedSequence_data()
{
    QTest::addColumn<int>("expected");
    QTest::addColumn<QByteArray>("marker");
    QTest::addColumn<QVariantList>("answers"); // each {number, block}
    QTest::addColumn<int>("lastAction");
    QTest::addColumn<bool>("retryable");
    QTest::addColumn<QByteArray>("bufferAfter");
    QTest::addColumn<int>("loadedAfter"); // the block asked for next

    const QByteArray a = records(4, 1), b = records(4, 10), c = records(4, 20);
    const QByteArray d = records(4, 30), shortBlock = records(2, 40);
    const int next = AnswerOutcome::RequestNext, fail = AnswerOutcome::Fail;
    const int done = AnswerOutcome::Complete;
    using L = QVariantList;
    QTest::newRow("next block appends")
        << -1 << QByteArray() << L{L{0, a}, L{1, b}} << next << false << a + b << 2;
    QTest::newRow("number as text")
        << -1 << QByteArray() << L{L{0, a}, L{"1", b}} << next << false << a + b << 2;
    QTest::newRow("integral floating number")
        << -1 << QByteArray() << L{L{0, a}, L{1.0, b}} << next << false << a + b << 2;
    // A block sent again replaces from its start; the one behind it is asked next.
    QTest::newRow("block sent again") << -1 << QByteArray() << L{L{0, a}, L{1, b}, L{2, c}, L{1, d}}
                                      << next << false << a + d << 2;
    // Stored where it claims to belong, it would leave a gap.
    QTest::newRow("later block") << -1 << QByteArray() << L{L{0, a}, L{2, b}} << fail << true << a
                                 << 1;
    QTest::newRow("huge number") << -1 << QByteArray() << L{L{0, a}, L{0x7FFFFFFFFFFFFFFFLL, b}}
                                 << fail << true << a << 1;
    // Blocks of unequal length never cut or shift one another.
    QTest::newRow("short last block within the limit")
        << 3 << QByteArray() << L{L{0, a}, L{1, b}, L{2, shortBlock}} << done << false
        << a + b + shortBlock << 3;
    QTest::newRow("short block sent again")
        << -1 << QByteArray() << L{L{0, a}, L{1, b}, L{2, shortBlock}, L{2, shortBlock}} << next
        << false << a + b + shortBlock << 3;
    QTest::newRow("marker in a short block keeps the new records")
        << -3 << records(1, 90) << L{L{0, a}, L{1, shortBlock + records(1, 90)}} << done << false
        << a + shortBlock << 1;
    // An answer that adds nothing may be a late duplicate; three in a row are not.
    QTest::newRow("third answer adding nothing")
        << -1 << QByteArray() << L{L{0, a}, L{1, b}, L{0, a}, L{0, a}, L{0, a}} << fail << true << a
        << 1;
    QTest::newRow("progress between idle answers")
        << -1 << QByteArray() << L{L{0, a}, L{0, a}, L{0, a}, L{1, b}, L{1, b}, L{1, b}} << next
        << false << a + b << 2;
}

void TestJournalProtocol::unmarkedSequence()
{
    QFETCH(int, expected);
    QFETCH(QByteArray, marker);
    QFETCH(QVariantList, answers);
    QFETCH(int, lastAction);
    QFETCH(bool, retryable);
    QFETCH(QByteArray, bufferAfter);
    QFETCH(int, loadedAfter);
    QueueItem i = item(expected);
    i.stopMarker = marker;
    AnswerOutcome out;
    for (int n = 0; n < answers.size(); ++n) {
        out = JournalProtocol::handleBlock(i, answers.at(n).toList());
        if (n + 1 < answers.size())
            QCOMPARE(out.action, AnswerOutcome::RequestNext);
    }
    QCOMPARE(int(out.action), lastAction);
    QCOMPARE(out.retryable, retryable);
    if (out.action == AnswerOutcome::Fail)
        QCOMPARE(out.failure, AnswerOutcome::WrongAnswer);
    QCOMPARE(i.buffer, bufferAfter);
    QCOMPARE(i.loaded, loadedAfter);
}

void TestJournalProtocol::emptyBlockKeepsReceivedData()
{
    QueueItem i = item(-1);
    i.buffer = records(24, 1);
    i.loaded = 2;
    const AnswerOutcome out = JournalProtocol::handleBlock(i, {2, QByteArray()});
    QCOMPARE(out.action, AnswerOutcome::Complete);
    QCOMPARE(i.buffer, records(24, 1));

    // A text journal whose last block brought no end mark ends there too.
    QueueItem text = item(-1);
    text.isVegal = true;
    text.buffer = QByteArray("01.02.13 10:00:00 E 5 a", 24);
    text.loaded = 1;
    const AnswerOutcome end = JournalProtocol::handleBlock(text, {1, QByteArray()});
    QCOMPARE(end.action, AnswerOutcome::Complete);
    QCOMPARE(text.buffer.size(), 24);
}

void TestJournalProtocol::markedEnd_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("ends");
    QTest::addColumn<QByteArray>("bufferAfter");
    const QByteArray line1("first line\0", 11);
    const QByteArray line2("second\0", 7);
    QTest::newRow("no end") << line1 << line2 << false << line1 + line2;
    // The zero that ends the last line is kept.
    QTest::newRow("two zeros inside")
        << line1 << QByteArray("last\0\0junk", 10) << true << line1 + QByteArray("last\0", 5);
    QTest::newRow("two zeros across blocks") << line1 << QByteArray("\0more", 5) << true << line1;
    QTest::newRow("block starts with two zeros")
        << QByteArray("unended") << QByteArray("\0\0", 2) << true << QByteArray("unended\0", 8);
    QTest::newRow("empty journal")
        << QByteArray() << QByteArray("\0\0\xFF", 3) << true << QByteArray();
}

void TestJournalProtocol::markedEnd()
{
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, block);
    QFETCH(bool, ends);
    QFETCH(QByteArray, bufferAfter);
    QueueItem i = item(-1, true);
    i.buffer = stored;
    i.loaded = stored.isEmpty() ? 0 : 1;
    const int loadedBefore = i.loaded;
    const AnswerOutcome out = JournalProtocol::handleBlock(i, {0, block});
    QCOMPARE(out.action, ends ? AnswerOutcome::Complete : AnswerOutcome::RequestNext);
    QCOMPARE(i.buffer, bufferAfter);
    // The block that ends the text is not counted.
    QCOMPARE(i.loaded, ends ? loadedBefore : loadedBefore + 1);
    QCOMPARE(out.loadedText, ends ? AnswerOutcome::NoLoadedText : AnswerOutcome::Blocks);
}

void TestJournalProtocol::markedLimitKeepsBlocksUncut()
{
    QueueItem i = item(2, true);
    i.isTmHelix = false;
    i.isVegal = true;
    const QByteArray a("aaaa\0", 5), b("bbbbbbbbbb\0", 11);
    QCOMPARE(JournalProtocol::handleBlock(i, {0, a}).action, AnswerOutcome::RequestNext);
    const AnswerOutcome out = JournalProtocol::handleBlock(i, {1, b});
    QCOMPARE(out.action, AnswerOutcome::Complete);
    QCOMPARE(i.buffer, a + b);
}

void TestJournalProtocol::stopMarker_data()
{
    QTest::addColumn<bool>("marked");
    QTest::addColumn<QByteArray>("marker");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QByteArray>("bufferAfter");
    const QByteArray r = QByteArray("RRRRRRRR");
    QTest::newRow("record at 0") << false << r << r + records(3, 1) << true << QByteArray();
    // The new records in front of the marker are kept.
    QTest::newRow("record at 24") << false << r << records(3, 1) + r << true << records(3, 1);
    QTest::newRow("straddling records is no match")
        << false << r << QByteArray("xxxx") + r + QByteArray("yyyy") << false
        << QByteArray("xxxx") + r + QByteArray("yyyy");
    QTest::newRow("not in block") << false << r << records(3, 1) << false << records(3, 1);
    const QByteArray line("old newest\0", 11);
    QTest::newRow("line after new lines")
        << true << QByteArray("old newest") << QByteArray("new\0", 4) + line << true
        << QByteArray("new\0", 4);
    QTest::newRow("inside another line is no match")
        << true << QByteArray("newest") << QByteArray("an old newest\0\0", 15) << false
        << QByteArray("an old newest\0", 14);
}

void TestJournalProtocol::stopMarker()
{
    QFETCH(bool, marked);
    QFETCH(QByteArray, marker);
    QFETCH(QByteArray, block);
    QFETCH(bool, found);
    QFETCH(QByteArray, bufferAfter);
    QueueItem i = item(-3, marked);
    i.stopMarker = marker;
    const AnswerOutcome out = JournalProtocol::handleBlock(i, {0, block});
    QCOMPARE(i.buffer, bufferAfter);
    QCOMPARE(i.stopMarker.isEmpty(), found);
    if (found)
        QCOMPARE(out.action, AnswerOutcome::Complete);
}

void TestJournalProtocol::stopMarkerAcrossBlocksForText()
{
    QueueItem i = item(-3, true);
    i.stopMarker = "old newest";
    QCOMPARE(JournalProtocol::handleBlock(i, {0, QByteArray("new\0old ne", 10)}).action,
             AnswerOutcome::RequestNext);
    QCOMPARE(JournalProtocol::handleBlock(i, {1, QByteArray("west\0older\0", 11)}).action,
             AnswerOutcome::Complete);
    QCOMPARE(i.buffer, QByteArray("new\0", 4));
}

void TestJournalProtocol::stopMarkerOf_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("marked");
    QTest::addColumn<QByteArray>("marker");
    QTest::newRow("first record") << QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08\x09") << false
                                  << QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08");
    QTest::newRow("short file") << QByteArray("abc") << false << QByteArray("abc");
    QTest::newRow("first line") << QByteArray("line one\0line two\0", 18) << true
                                << QByteArray("line one");
    QTest::newRow("no zero byte") << QByteArray(600, 'x') << true << QByteArray(600, 'x');
    QTest::newRow("empty newest lines")
        << QByteArray("\0\0line one\0", 11) << true << QByteArray("line one");
    QTest::newRow("only empty lines") << QByteArray("\0\0", 2) << true << QByteArray();
}

void TestJournalProtocol::stopMarkerOf()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, marked);
    QFETCH(QByteArray, marker);
    QCOMPARE(JournalProtocol::stopMarkerOf(file, marked), marker);
}

void TestJournalProtocol::continued_data()
{
    QTest::addColumn<QByteArray>("fresh");
    QTest::addColumn<QByteArray>("previous");
    QTest::addColumn<bool>("markerMet");
    QTest::addColumn<bool>("marked");
    QTest::addColumn<QByteArray>("saved");
    const QByteArray a = records(2, 'a'), b = records(2, 'x');
    QTest::newRow("records, marker met") << a << b << true << false << a + b;
    // The controller lost the marker, and so everything older: nothing repeats.
    QTest::newRow("records, marker lost") << a << b << false << false << a + b;
    // The new data holds some of the old records: those are not saved twice.
    QTest::newRow("records held by the new data")
        << a + b.left(8) << b + records(1, 'm') << false << false << a + b + records(1, 'm');
    QTest::newRow("lines, marker met") << QByteArray("new\0", 4) << QByteArray("old\0", 4) << true
                                       << true << QByteArray("new\0old\0", 8);
    // The controller's empty newest line is in the new data already.
    QTest::newRow("lines, empty newest line")
        << QByteArray("\0new\0", 5) << QByteArray("\0old\0", 5) << true << true
        << QByteArray("\0new\0old\0", 9);
    QTest::newRow("lines, nothing new") << QByteArray("\0", 1) << QByteArray("\0old\0", 5) << true
                                        << true << QByteArray("\0old\0", 5);
    QTest::newRow("lines held by the new data")
        << QByteArray("\0new\0old\0", 9) << QByteArray("\0old\0older\0", 11) << false << true
        << QByteArray("\0new\0old\0older\0", 15);
    // A text cut inside a line does not run into the next one.
    QTest::newRow("lines, new data ends inside a line")
        << QByteArray("new\0ne", 6) << QByteArray("old\0", 4) << false << true
        << QByteArray("new\0ne\0old\0", 11);
    QTest::newRow("nothing before") << a << QByteArray() << false << false << a;
    // A journal cut inside its oldest line (by an N-block download): the new
    // data holds that line whole, and the part must not follow it again.
    QTest::newRow("lines, previous cut inside a line the new data holds")
        << QByteArray("new\0old\0older\0", 14) << QByteArray("old\0ol", 6) << false << true
        << QByteArray("new\0old\0older\0", 14);
}

void TestJournalProtocol::continued()
{
    QFETCH(QByteArray, fresh);
    QFETCH(QByteArray, previous);
    QFETCH(bool, markerMet);
    QFETCH(bool, marked);
    QFETCH(QByteArray, saved);
    QCOMPARE(JournalProtocol::continued(fresh, previous, markerMet, marked), saved);
}

void TestJournalProtocol::writesWhileRead_data()
{
    // The controller writes entries in front of its journal while the blocks
    // are read: before the block request of each index, writes[index] of them.
    QTest::addColumn<bool>("marked");
    QTest::addColumn<QByteArray>("journal");
    QTest::addColumn<QList<int>>("writes");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<QByteArray>("saved");
    QTest::addColumn<int>("dropped");
    QTest::addColumn<int>("kept");

    const QByteArray binary = journal(63, false);
    const auto record = [&](int i) { return binary.mid(8 * i, 8); };
    QTest::newRow("nothing written") << false << binary << QList<int>{} << -1 << binary << 0 << 0;
    QTest::newRow("three records, saved once")
        << false << binary << QList<int>{0, 0, 3} << -1 << binary << 3 << 0;
    QTest::newRow("a whole block, saved once")
        << false << binary << QList<int>{0, 12} << -1 << binary << 12 << 0;
    QTest::newRow("a pause of twenty records")
        << false << binary << QList<int>{0, 0, 20} << -1 << binary << 20 << 0;
    QTest::newRow("at several boundaries")
        << false << binary << QList<int>{0, 2, 4, 0, 5} << -1 << binary << 11 << 0;
    QTest::newRow("N blocks") << false << binary << QList<int>{0, 0, 3} << 4 << binary.left(45 * 8)
                              << 3 << 0;
    // One record alone cannot tell a move from the controller's own repeat.
    QTest::newRow("one record, kept")
        << false << binary << QList<int>{0, 0, 1} << -1
        << binary.left(24 * 8) + record(23) + binary.mid(24 * 8) << 0 << 1;
    QByteArray burst = binary;
    burst.replace(24 * 8, 8, record(23));
    QTest::newRow("the controller's own repeat at a boundary")
        << false << burst << QList<int>{} << -1 << burst << 0 << 1;
    QByteArray second = binary;
    second.replace(22 * 8, 8, entry(40000 - 7 * 23, false, 9));
    QTest::newRow("two records of one second, kept")
        << false << second << QList<int>{0, 0, 2} << -1 << second.left(24 * 8) + second.mid(22 * 8)
        << 0 << 2;
}

void TestJournalProtocol::writesWhileRead()
{
    QFETCH(bool, marked);
    QFETCH(QByteArray, journal);
    QFETCH(QList<int>, writes);
    QFETCH(int, blocks);
    QFETCH(QByteArray, saved);
    QFETCH(int, dropped);
    QFETCH(int, kept);
    const int blockSize = marked ? 256 : 96;
    QByteArray held = journal;
    int newest = 40000;
    QueueItem i = item(blocks, marked);
    AnswerOutcome out;
    do {
        for (int w = writes.value(i.loaded); w > 0; --w)
            held.prepend(::entry(newest += 3, marked, 7));
        QByteArray block = held.mid(i.loaded * blockSize, blockSize);
        block += QByteArray(blockSize - block.size(), marked ? '\0' : char(0xFF));
        out = JournalProtocol::handleBlock(i, {i.loaded, block});
    } while (out.action == AnswerOutcome::RequestNext);
    QCOMPARE(out.action, AnswerOutcome::Complete);
    QCOMPARE(i.buffer, saved);
    // Text repeats are counted by the line ends they hold.
    if (!marked)
        QCOMPARE(i.repeats().dropped, dropped);
    else
        QCOMPARE(i.repeats().dropped > 0, dropped > 0);
    QCOMPARE(i.repeats().kept, kept);
}

QTEST_APPLESS_MAIN(TestJournalProtocol)
#include "tst_journalprotocol.moc"
