#include "queue/configprotocol.h"

#include <QtTest>

namespace {

QByteArray words(std::initializer_list<quint16> values)
{
    QByteArray out;
    for (quint16 v : values) {
        out += char(v & 0xFF);
        out += char(v >> 8);
    }
    return out;
}

// Feeds pieces in order, each at the offset the item asks for, until the
// download leaves the "next piece" path.
AnswerOutcome feed(QueueItem& item, const QList<QByteArray>& pieces)
{
    AnswerOutcome out;
    for (const QByteArray& piece : pieces) {
        out = ConfigProtocol::handlePiece(item, {item.area, item.loaded, piece});
        if (out.action != AnswerOutcome::RequestNext)
            break;
    }
    return out;
}

} // namespace

class TestConfigProtocol : public QObject
{
    Q_OBJECT

private slots:
    void malformedAnswers_data();
    void malformedAnswers();
    void imageSize_data();
    void imageSize();
    void binaryImageCutToTableSize();
    void textConfigurationEndsWithEnd();
    void jsonHeader_data();
    void jsonHeader();
    void jsonEnds_data();
    void jsonEnds();
    void pieceOffsets_data();
    void pieceOffsets();
    void idleAnswers_data();
    void idleAnswers();
    void resentPieceAfterHeaderLandsInPlace();
};

void TestConfigProtocol::malformedAnswers_data()
{
    QTest::addColumn<QVariantList>("data");
    QTest::addColumn<int>("failure");
    QTest::newRow("two elements") << QVariantList{0, 0} << int(AnswerOutcome::WrongAnswer);
    QTest::newRow("area 1") << QVariantList{1, 0, QByteArray("x")} << int(AnswerOutcome::WrongArea);
    QTest::newRow("empty first piece")
        << QVariantList{0, 0, QByteArray()} << int(AnswerOutcome::EmptyAnswer);
    QTest::newRow("all entries unused") << QVariantList{0, 0, words({0xFFFF, 0xFFFF, 0xFFFF})}
                                        << int(AnswerOutcome::InvalidConfigSize);
    QTest::newRow("table beyond the piece, no usable entry")
        << QVariantList{0, 0, words({0xFFFF, 0xFFFF})} << int(AnswerOutcome::InvalidConfigSize);
    QTest::newRow("blank memory of zeros")
        << QVariantList{0, 0, QByteArray(64, '\0')} << int(AnswerOutcome::InvalidConfigSize);
    QTest::newRow("piece is a list")
        << QVariantList{0, 0, QVariantList{QByteArray("x")}} << int(AnswerOutcome::WrongAnswer);
    QTest::newRow("piece is a number") << QVariantList{0, 0, 7} << int(AnswerOutcome::WrongAnswer);
    QTest::newRow("offset is no number")
        << QVariantList{0, "zero", QByteArray("x")} << int(AnswerOutcome::WrongAnswer);
    QTest::newRow("offset is fractional")
        << QVariantList{0, 0.5, QByteArray("x")} << int(AnswerOutcome::WrongAnswer);
}

void TestConfigProtocol::malformedAnswers()
{
    QFETCH(QVariantList, data);
    QFETCH(int, failure);
    QueueItem item;
    const AnswerOutcome out = ConfigProtocol::handlePiece(item, data);
    QCOMPARE(out.action, AnswerOutcome::Fail);
    QCOMPARE(int(out.failure), failure);
    QVERIFY(!out.retryable);
    QVERIFY(item.buffer.isEmpty());
}

void TestConfigProtocol::imageSize_data()
{
    QTest::addColumn<QByteArray>("piece");
    QTest::addColumn<int>("size");
    QTest::newRow("6, 500, 0xFFFF") << words({6, 500, 0xFFFF}) << 502;
    QTest::newRow("last entry used") << words({6, 100, 300}) << 302;
    QTest::newRow("table larger than piece") << words({40, 80}) << 82;
    QTest::newRow("word 0 only") << words({2}) << 4;
    // Word 0 below 2, or a size inside the table: a blank or broken table.
    QTest::newRow("word 0 below 2") << words({0, 5}) << -1;
    QTest::newRow("entry inside the table") << words({6, 2, 0xFFFF}) << -1;
    QTest::newRow("one byte") << QByteArray(1, '\x06') << 2;
}

void TestConfigProtocol::imageSize()
{
    QFETCH(QByteArray, piece);
    QFETCH(int, size);
    QCOMPARE(ConfigProtocol::imageSize(piece), size);
}

void TestConfigProtocol::binaryImageCutToTableSize()
{
    QueueItem item;
    QByteArray image = words({6, 500, 0xFFFF}) + QByteArray(600, 'i');
    AnswerOutcome out = ConfigProtocol::handlePiece(item, {0, 0, image.left(200)});
    QCOMPARE(out.action, AnswerOutcome::RequestNext);
    QCOMPARE(item.expected, 502);
    QCOMPARE(out.barMaximum.value_or(-1), 502);
    QCOMPARE(out.barValue.value_or(-1), 200);
    QCOMPARE(item.loaded, 200);
    out = ConfigProtocol::handlePiece(item, {0, 200, image.mid(200, 200)});
    QCOMPARE(out.action, AnswerOutcome::RequestNext);
    QCOMPARE(out.barValue.value_or(-1), 400);
    out = ConfigProtocol::handlePiece(item, {0, 400, image.mid(400, 200)});
    QCOMPARE(out.action, AnswerOutcome::Complete);
    QCOMPARE(item.buffer, image.left(502));
    QCOMPARE(out.loadedText, AnswerOutcome::Bytes);
    QCOMPARE(out.loadedValue, 502);
}

void TestConfigProtocol::textConfigurationEndsWithEnd()
{
    QueueItem item;
    AnswerOutcome out = ConfigProtocol::handlePiece(item, {0, 0, QByteArray("#TxtCfg v1\n")});
    QCOMPARE(out.typeText, AnswerOutcome::Adapter);
    QVERIFY(item.textConfig);
    QVERIFY(item.buffer.isEmpty());
    QCOMPARE(item.loaded, 11);
    out = feed(item, {"a=1\nEN", "D.\ntrailing"});
    QCOMPARE(out.action, AnswerOutcome::Complete);
    QCOMPARE(item.buffer, QByteArray("a=1\nEND."));
    // "Loaded" keeps the count from before the last piece.
    QCOMPARE(item.loaded, 11 + 6);
}

void TestConfigProtocol::jsonHeader_data()
{
    QTest::addColumn<QByteArray>("piece");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("vegal");
    QTest::addColumn<int>("loaded");
    QTest::newRow("len and vegal2")
        << QByteArray("#jcfg len=1200 type=vegal2 {\"a\"") << 1200 << "vegal2" << true << 4;
    QTest::newRow("no type") << QByteArray("#jcfg len=10 {") << 10 << "TM_HELIX3" << false << 1;
    QTest::newRow("len not a number")
        << QByteArray("#jcfg len=x1 type=VEGAL2") << 0 << "VEGAL2" << true << 24;
    QTest::newRow("type at the end, utf-8")
        << QByteArray("#jcfg type=\xd0\x97\xd0\xb5\xd0\xbb\xd1\x82\xd0\xb0") << 0
        << QString::fromUtf8("Зелта") << false << 21;
}

void TestConfigProtocol::jsonHeader()
{
    QFETCH(QByteArray, piece);
    QFETCH(int, expected);
    QFETCH(QString, type);
    QFETCH(bool, vegal);
    QFETCH(int, loaded);
    QueueItem item;
    const AnswerOutcome out = ConfigProtocol::handlePiece(item, {0, 0, piece});
    QCOMPARE(out.action, AnswerOutcome::RequestNext);
    QCOMPARE(item.expected, expected);
    QCOMPARE(out.typeText, AnswerOutcome::HeaderType);
    QCOMPARE(out.headerType, type);
    QCOMPARE(item.isVegal, vegal);
    QCOMPARE(item.isTmHelix, !vegal);
    QVERIFY(item.buffer.isEmpty());
    QCOMPARE(item.loaded, loaded);
}

void TestConfigProtocol::jsonEnds_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QByteArray>("saved");
    QTest::newRow("zero byte") << QList<QByteArray>{"#jcfg len=1200 type=vegal2 {",
                                                    "{\"a\":", QByteArray("1}\0\0", 4)}
                               << QByteArray("{\"a\":1}");
    QTest::newRow("size reached first")
        << QList<QByteArray>{"#jcfg len=6 type=x", "{\"a\":", "1}}}"} << QByteArray("{\"a\":1");
}

void TestConfigProtocol::jsonEnds()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QByteArray, saved);
    QueueItem item;
    QCOMPARE(feed(item, pieces).action, AnswerOutcome::Complete);
    QCOMPARE(item.buffer, saved);
}

void TestConfigProtocol::pieceOffsets_data()
{
    QTest::addColumn<QVariant>("offset");
    QTest::addColumn<int>("action");
    QTest::addColumn<bool>("retryable");
    QTest::addColumn<int>("sizeAfter");
    QTest::addColumn<int>("loadedAfter"); // the offset asked for next
    const int next = AnswerOutcome::RequestNext, fail = AnswerOutcome::Fail;
    QTest::newRow("the offset asked for") << QVariant(400) << next << false << 450 << 450;
    QTest::newRow("earlier offset") << QVariant(100) << next << false << 150 << 150;
    QTest::newRow("offset as text") << QVariant("400") << next << false << 450 << 450;
    // Stored where it claims to belong, it would leave a gap: asked again.
    QTest::newRow("beyond the end") << QVariant(900) << fail << true << 400 << 400;
    QTest::newRow("huge") << QVariant(0x7FFFFFFFFFFFFFFFLL) << fail << true << 400 << 400;
    QTest::newRow("negative") << QVariant(-5) << fail << false << 400 << 400;
}

void TestConfigProtocol::pieceOffsets()
{
    QFETCH(QVariant, offset);
    QFETCH(int, action);
    QFETCH(bool, retryable);
    QFETCH(int, sizeAfter);
    QFETCH(int, loadedAfter);
    QueueItem item;
    item.expected = 5000;
    item.buffer = QByteArray(400, 'a');
    item.loaded = 400;
    const AnswerOutcome out = ConfigProtocol::handlePiece(item, {0, offset, QByteArray(50, 'b')});
    QCOMPARE(int(out.action), action);
    QCOMPARE(out.retryable, retryable);
    QCOMPARE(item.buffer.size(), sizeAfter);
    QCOMPARE(item.loaded, loadedAfter);
}

void TestConfigProtocol::idleAnswers_data()
{
    QTest::addColumn<QVariantList>("answers"); // after the pieces "#TxtCfg v1", 20 x 'a'
    QTest::addColumn<bool>("fails");
    const QByteArray a(20, 'a');
    using L = QVariantList;
    QTest::newRow("empty later pieces")
        << L{L{0, 30, QByteArray()}, L{0, 30, QByteArray()}, L{0, 30, QByteArray()}} << true;
    QTest::newRow("earlier piece again") << L{L{0, 10, a}, L{0, 10, a}, L{0, 10, a}} << true;
    QTest::newRow("header again") << L{L{0, 0, QByteArray("#TxtCfg v1")},
                                       L{0, 0, QByteArray("#TxtCfg v1")},
                                       L{0, 0, QByteArray("#TxtCfg v1")}}
                                  << true;
    QTest::newRow("progress in between")
        << L{L{0, 30, QByteArray()}, L{0, 30, QByteArray()}, L{0, 30, a}, L{0, 50, QByteArray()},
             L{0, 50, QByteArray()}}
        << false;
}

void TestConfigProtocol::idleAnswers()
{
    QFETCH(QVariantList, answers);
    QFETCH(bool, fails);
    QueueItem item;
    feed(item, {QByteArray("#TxtCfg v1"), QByteArray(20, 'a')});
    AnswerOutcome out;
    for (const QVariant& answer : qAsConst(answers))
        out = ConfigProtocol::handlePiece(item, answer.toList());
    QCOMPARE(out.action, fails ? AnswerOutcome::Fail : AnswerOutcome::RequestNext);
    QCOMPARE(out.retryable, fails);
    // Nothing of the header was ever stored as data.
    QVERIFY(!item.buffer.contains("#TxtCfg"));
}

void TestConfigProtocol::resentPieceAfterHeaderLandsInPlace()
{
    // A text configuration: the 10-byte header piece is not stored, so offset
    // 30 of the controller is position 20 of the buffer.
    QueueItem item;
    feed(item, {QByteArray("#TxtCfg v1"), QByteArray(20, 'a'), QByteArray(20, 'b')});
    QCOMPARE(item.loaded, 50);
    ConfigProtocol::handlePiece(item, {0, 30, QByteArray(20, 'c')});
    QCOMPARE(item.buffer, QByteArray(20, 'a') + QByteArray(20, 'c'));
    QCOMPARE(item.loaded, 50);
    QCOMPARE(ConfigProtocol::handlePiece(item, {0, 50, QByteArray("x END.")}).action,
             AnswerOutcome::Complete);
    QCOMPARE(item.buffer, QByteArray(20, 'a') + QByteArray(20, 'c') + "x END.");
}

QTEST_APPLESS_MAIN(TestConfigProtocol)
#include "tst_configprotocol.moc"
