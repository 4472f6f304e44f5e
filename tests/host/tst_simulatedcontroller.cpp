#include "host/controllerdata.h"
#include "host/hostlight.h"
#include "host/response.h"
#include "host/simulatedcontroller.h"
#include "host/simulatedfleet.h"
#include "journal/messagedefinitionparser.h"
#include "journal/messagetemplate.h"

#include <QFile>
#include <QJsonDocument>
#include <QSet>
#include <QSignalSpy>
#include <QTextCodec>
#include <QtEndian>
#include <QtTest>

using namespace ControllerData;
Q_DECLARE_METATYPE(ControllerData::Family)

namespace {

struct Definitions
{
    QMap<int, QString> sources;
    QMap<int, QString> messages;
};

Definitions definitions(int version)
{
    Definitions d;
    QFile f(QStringLiteral(":/mes_files/Notepad.mes.%1").arg(version));
    if (f.open(QIODevice::ReadOnly))
        MessageDefinitionParser::parse(f, d.sources, d.messages);
    return d;
}

QDateTime recordTime(const QByteArray& r, int* source = nullptr)
{
    const quint32 w = qFromLittleEndian<quint32>(r.constData());
    if (source)
        *source = int(w >> 26);
    const QDate date(2026, int(w >> 22 & 0xF), int(w >> 17 & 0x1F));
    const QTime time(int(w >> 12 & 0x1F), int(w >> 6 & 0x3F), int(w & 0x3F));
    return QDateTime(date, time);
}

// Sends one command through the light and waits for its answer.
Response* ask(SimulatedController& c, const char* command, const QVariantList& args)
{
    Response* r = c.light()->sendCommand(QString::fromLatin1(command), args);
    if (r && !r->isFinished()) {
        QSignalSpy spy(r, &Response::finished);
        spy.wait(2000);
    }
    return r;
}

QVector<QByteArray> lines(const QByteArray& text)
{
    QVector<QByteArray> out;
    int from = 0;
    for (int zero = text.indexOf('\0'); zero >= 0; zero = text.indexOf('\0', from)) {
        out.append(text.mid(from, zero - from));
        from = zero + 1;
    }
    return out;
}

} // namespace

class TestSimulatedController : public QObject
{
    Q_OBJECT

private slots:
    void definitionCodesMatchTheFiles_data();
    void definitionCodesMatchTheFiles();
    void recordPacking();
    void binaryJournalIsValid_data();
    void binaryJournalIsValid();
    void textJournalIsValid_data();
    void textJournalIsValid();
    void configurationForms();
    void answersComeLaterThroughTheEventLoop();
    void faults();
    void lightDeletesFinishedResponsesLater();
    void transferEndsWhenTheModuleStopsAsking();
    void referenceModel_data();
    void referenceModel();
    void growingJournalContinues_data();
    void growingJournalContinues();
    void fleetIsDeterministicAndCoversEveryFamily();
};

void TestSimulatedController::definitionCodesMatchTheFiles_data()
{
    QTest::addColumn<int>("version");
    for (int v = 314; v <= 317; ++v)
        QTest::addRow("%d", v) << v;
}

void TestSimulatedController::definitionCodesMatchTheFiles()
{
    // The simulated journals use exactly the codes each generation's file defines.
    QFETCH(int, version);
    const Definitions d = definitions(version);
    QVERIFY(!d.messages.isEmpty());
    const QVector<int>& codes = messageCodes(version);
    QCOMPARE(QSet<int>(codes.begin(), codes.end()),
             QSet<int>(d.messages.keyBegin(), d.messages.keyEnd()));
    const QVector<int>& sources = sourceCodes();
    QCOMPARE(QSet<int>(sources.begin(), sources.end()),
             QSet<int>(d.sources.keyBegin(), d.sources.keyEnd()));
}

void TestSimulatedController::recordPacking()
{
    const QByteArray r =
        binaryRecord(QDateTime(QDate(2026, 8, 21), QTime(19, 49, 13)), 6, 0x5A, 1, 2, 3);
    QCOMPARE(r.toHex(), QByteArray("4d3c2b1a5a010203"));
}

void TestSimulatedController::binaryJournalIsValid_data()
{
    QTest::addColumn<Family>("family");
    QTest::addColumn<bool>("full");
    QTest::newRow("314") << Family::Gen314 << false;
    QTest::newRow("315 full") << Family::Gen315 << true;
    QTest::newRow("316") << Family::Gen316 << false;
    QTest::newRow("317 full") << Family::Gen317 << true;
}

void TestSimulatedController::binaryJournalIsValid()
{
    QFETCH(Family, family);
    QFETCH(bool, full);
    SimulatedController c(7, family, 99);
    if (full)
        c.fillJournal();
    else
        c.setJournalEntries(100);
    const Definitions d = definitions(journalVersion(family));
    const QByteArray j = c.journal();
    QCOMPARE(j.size(), full ? MaxBinaryBlocks * BinaryBlockSize : 100 * RecordSize);
    QDateTime previous;
    for (int at = 0; at < j.size(); at += RecordSize) {
        const QByteArray r = j.mid(at, RecordSize);
        int source = 0;
        const QDateTime t = recordTime(r, &source);
        QVERIFY2(t.isValid(), qPrintable(r.toHex()));
        QVERIFY(quint8(r.at(0)) != 0xFF);
        QVERIFY(d.sources.contains(source));
        QVERIFY(d.messages.contains(quint8(r.at(4))));
        // As a real controller writes them: every text expands without an error.
        if (source != 31) {
            QString text;
            MessageTemplate(d.messages.value(quint8(r.at(4))))
                .expand(reinterpret_cast<const uchar*>(r.constData()), RecordSize, text);
            QVERIFY2(!text.contains(QLatin1String("ERROR")), qPrintable(text));
        }
        if (previous.isValid())
            QVERIFY(t < previous); // newest first
        previous = t;
    }
    // Blocks of 96 bytes, erased space after the end, nothing past 344 blocks.
    const int used = j.size() / BinaryBlockSize;
    QCOMPARE(c.journalBlock(0), j.left(BinaryBlockSize));
    if (full) {
        QCOMPARE(c.journalBlock(MaxBinaryBlocks - 1).size(), BinaryBlockSize);
    } else {
        const QByteArray last = c.journalBlock(used);
        QCOMPARE(last.size(), BinaryBlockSize);
        QCOMPARE(last.left(j.size() % BinaryBlockSize), j.mid(used * BinaryBlockSize));
        QCOMPARE(quint8(last.at(j.size() % BinaryBlockSize)), quint8(0xFF));
    }
    QVERIFY(c.journalBlock(MaxBinaryBlocks).isEmpty());
}

void TestSimulatedController::textJournalIsValid_data()
{
    QTest::addColumn<Family>("family");
    QTest::newRow("TM_HELIX") << Family::TmHelix;
    QTest::newRow("vegal") << Family::Vegal;
}

void TestSimulatedController::textJournalIsValid()
{
    QFETCH(Family, family);
    SimulatedController c(8, family, 5);
    c.setJournalEntries(40);
    const QByteArray j = c.journal();
    QVERIFY(j.endsWith('\0'));
    const auto all = lines(j);
    QCOMPARE(all.size(), 40);
    QTextCodec* codec = QTextCodec::codecForName("Windows-1251");
    QDateTime previous;
    for (const QByteArray& line : all) {
        const QList<QByteArray> fields = line.split(' ');
        QVERIFY(fields.size() >= 5);
        QVERIFY(QChar::fromLatin1(fields.at(0).at(0)).isDigit());
        const QDateTime t =
            QDateTime::fromString(QString::fromLatin1(fields.at(0) + ' ' + fields.at(1)),
                                  QStringLiteral("dd.MM.yy hh:mm:ss"));
        QVERIFY(t.isValid());
        if (previous.isValid())
            QVERIFY(t.addYears(100) < previous.addYears(100));
        previous = t;
        // The message is Windows-1251 text: it round-trips through that codec.
        const QByteArray message = line.mid(line.indexOf(fields.at(4)));
        QCOMPARE(codec->fromUnicode(codec->toUnicode(message)), message);
    }
    // Two zero bytes end the text; the memory after it reads as zeros.
    const int blocks = (j.size() + c.journalBlockSize() - 1) / c.journalBlockSize();
    QByteArray stored;
    for (int n = 0; n <= blocks; ++n)
        stored += c.journalBlock(n);
    QVERIFY(stored.startsWith(j + QByteArray(1, '\0')));

    // Erased flash after the text, and a memory that ends.
    c.setTextMemory(char(0xFF), blocks + 1);
    const QByteArray last = c.journalBlock(blocks - 1);
    const int tail = j.size() - (blocks - 1) * c.journalBlockSize();
    QCOMPARE(last.left(tail), j.right(tail));
    QCOMPARE(last.mid(tail), QByteArray(c.journalBlockSize() - tail, char(0xFF)));
    QVERIFY(c.journalBlock(blocks + 1).isEmpty());
}

void TestSimulatedController::configurationForms()
{
    QRandomGenerator rng(3);
    // Binary: the offset table's last used entry plus 2 is the size saved.
    const Config b = binaryConfig(rng, 502, 40);
    const int tableWords = qFromLittleEndian<quint16>(b.stream.constData()) / 2;
    int size = 0;
    for (int e = tableWords - 1; e >= 0 && size == 0; --e) {
        const quint16 v = qFromLittleEndian<quint16>(b.stream.constData() + 2 * e);
        if (v != 0xFFFF)
            size = v + 2;
    }
    QCOMPARE(size, 502);
    QCOMPARE(b.saved, b.stream.left(502));

    const Config t = textConfig(rng, 42, 5);
    QVERIFY(t.stream.startsWith("#TxtCfg"));
    QCOMPARE(t.stream.mid(t.headerSize, t.saved.size()), t.saved);
    QVERIFY(t.saved.endsWith("END."));
    QCOMPARE(t.saved.indexOf("END."), t.saved.size() - 4);

    const Config j = jsonConfig(rng, 42, QStringLiteral("vegal2"), 3);
    QVERIFY(
        j.stream.startsWith("#jcfg len=" + QByteArray::number(j.saved.size()) + " type=vegal2 "));
    QVERIFY(!j.stream.left(j.headerSize).contains('{'));
    QCOMPARE(j.stream.mid(j.headerSize), j.saved + QByteArray(1, '\0'));
    QVERIFY(QJsonDocument::fromJson(j.saved).isObject());

    const Config broken = brokenTableConfig();
    QVERIFY(broken.saved.isEmpty());
    QCOMPARE(broken.stream.count(char(0xFF)), broken.stream.size());

    QVERIFY(configSavedAsJson(Family::Gen315, j)); // the header marks the light
    QVERIFY(!configSavedAsJson(Family::Gen315, t));
    QVERIFY(configSavedAsJson(Family::Vegal, t));
    QCOMPARE(configFileName(7, false), QStringLiteral("dat00007.cnf"));
    QCOMPARE(configFileName(123456, true), QStringLiteral("dat123456.json"));
    QCOMPARE(journalFileName(12), QStringLiteral("Jrn00012.bin"));
}

void TestSimulatedController::answersComeLaterThroughTheEventLoop()
{
    SimulatedController c(3, Family::Gen317, 1);
    c.setJournalEntries(30);
    QRandomGenerator rng(1);
    c.setConfig(textConfig(rng, 3, 4));
    c.setConfigPieceSize(16);
    c.setLatency(0);
    Response* r = c.light()->sendCommand(QStringLiteral("GET_JRNL"), QVariantList{1});
    QVERIFY(r);
    QVERIFY(!r->isFinished()); // never inside sendCommand, even without latency
    QSignalSpy spy(r, &Response::finished);
    QVERIFY(spy.wait(1000));
    QCOMPARE(r->error(), 0);
    QCOMPARE(r->data(), (QVariantList{1, c.journal().mid(96, 96)}));

    // The first configuration piece is the header alone; later ones follow by offset.
    r = ask(c, "GET_CONFIG", {0, 0});
    QCOMPARE(r->data().value(2).toByteArray(), c.config().stream.left(c.config().headerSize));
    r = ask(c, "GET_CONFIG", {0, 20});
    QCOMPARE(r->data(), (QVariantList{0, 20, c.config().stream.mid(20, 16)}));
    r = ask(c, "GET_CONFIG", {1, 0});
    QVERIFY(r->error() != 0);
}

void TestSimulatedController::faults()
{
    SimulatedController c(4, Family::Gen314, 2);
    c.setJournalEntries(200);
    c.setLatency(1);
    SimulatedController::Faults f;
    f.errorEvery = 2;
    f.duplicateEvery = 3;
    f.dropLinkAt = 5;
    f.linkDownMs = 100;
    f.lateEvery = 4;
    f.lateMs = 150;
    c.setFaults(f);

    Response* r1 = ask(c, "GET_JRNL", {0});
    QCOMPARE(r1->error(), 0);
    Response* r2 = ask(c, "GET_JRNL", {1});
    QCOMPARE(r2->error(), 5); // every second command fails, with or without a text
    QCOMPARE(r2->errorString(), QStringLiteral("controller busy"));

    Response* r3 = c.light()->sendCommand(QStringLiteral("GET_JRNL"), QVariantList{1});
    QSignalSpy twice(r3, &Response::finished);
    QTRY_COMPARE_WITH_TIMEOUT(twice.count(), 2, 1000); // a duplicate finished()

    QElapsedTimer timer;
    timer.start();
    Response* r4 = ask(c, "GET_JRNL", {2});
    QCOMPARE(r4->error(), 5);
    QVERIFY(timer.elapsed() >= 140); // late

    QSignalSpy link(c.light(), &HostLight::connected);
    Response* r5 = c.light()->sendCommand(QStringLiteral("GET_JRNL"), QVariantList{2});
    QTRY_COMPARE_WITH_TIMEOUT(link.count(), 2, 2000); // down, then up again
    QCOMPARE(link.at(0).at(0).toBool(), false);
    QCOMPARE(link.at(1).at(0).toBool(), true);
    QVERIFY(!r5->isFinished()); // lost with the link

    // Re-sent blocks repeat the previous one.
    SimulatedController s(5, Family::Gen316, 2);
    s.setJournalEntries(100);
    SimulatedController::Faults resend;
    resend.resendEvery = 1;
    s.setFaults(resend);
    QCOMPARE(ask(s, "GET_JRNL", {3})->data(), (QVariantList{2, s.journalBlock(2)}));
}

void TestSimulatedController::lightDeletesFinishedResponsesLater()
{
    HostLight light(1);
    light.setResponseLifetime(50);
    QPointer<Response> r = light.sendCommand(QStringLiteral("GET_JRNL"), QVariantList{0});
    QTest::qWait(100);
    QVERIFY(r); // unanswered: the module may still be waiting for it
    QSignalSpy finished(r.data(), &Response::finished);
    QVERIFY(light.finishNext({0, QByteArray()}));
    QCOMPARE(finished.count(), 1); // delivered before anything is deleted
    QVERIFY(r);
    QTRY_VERIFY_WITH_TIMEOUT(!r, 1000);
}

void TestSimulatedController::transferEndsWhenTheModuleStopsAsking()
{
    SimulatedController c(6, Family::Gen315, 4);
    c.setJournalEntries(30);
    c.setLatency(0);
    QSignalSpy ended(&c, &SimulatedController::transferEnded);
    // A module that asks for the next block from within finished() keeps the transfer going.
    int asked = 0;
    Response* r = c.light()->sendCommand(QStringLiteral("GET_JRNL"), QVariantList{0});
    std::function<void()> next;
    next = [&] {
        if (++asked < 3) {
            Response* n = c.light()->sendCommand(QStringLiteral("GET_JRNL"), QVariantList{asked});
            connect(n, &Response::finished, this, next);
        }
    };
    connect(r, &Response::finished, this, next);
    QVERIFY(ended.wait(1000));
    QCOMPARE(asked, 3);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.at(0).at(0).toString(), QStringLiteral("GET_JRNL"));
}

void TestSimulatedController::referenceModel_data()
{
    QTest::addColumn<bool>("marked");
    QTest::addColumn<QList<QByteArray>>("blocks");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("existing");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray rec = binaryRecord(QDateTime(QDate(2026, 3, 5), QTime(7, 8, 9)), 1, 2);
    const QByteArray a = rec.repeated(12);
    const QByteArray erased(8, char(0xFF));
    const QByteArray partial = rec + erased + rec.repeated(10);
    // The records in front of erased space are the oldest it holds.
    QTest::newRow("binary ends at erased space")
        << false << QList<QByteArray>{a, a, partial} << -1 << false << QByteArray() << a + a + rec;
    QTest::newRow("binary limit") << false << QList<QByteArray>{a, a, a} << 2 << false
                                  << QByteArray() << a + a;
    QTest::newRow("binary empty block ends")
        << false << QList<QByteArray>{a, QByteArray()} << -1 << false << QByteArray() << a;
    const QByteArray marker = binaryRecord(QDateTime(QDate(2026, 3, 4), QTime(1, 2, 3)), 1, 9);
    const QByteArray withMarker = rec.repeated(5) + marker + rec.repeated(6);
    QTest::newRow("binary continuation keeps newer records")
        << false << QList<QByteArray>{a, withMarker} << -3 << true << marker + QByteArray("old")
        << a + rec.repeated(5) + marker + QByteArray("old");
    QTest::newRow("binary continuation without file")
        << false << QList<QByteArray>{a, partial} << -3 << false << QByteArray() << a + rec;
    QTest::newRow("binary continuation missing marker")
        << false << QList<QByteArray>{a, partial} << -3 << true << marker << a + rec + marker;

    const QByteArray zeros(8, '\0');
    QTest::newRow("text ends inside a block")
        << true << QList<QByteArray>{QByteArray("l1\0l2\0", 6), QByteArray("l3\0\0\0\0", 6)} << -1
        << false << QByteArray() << QByteArray("l1\0l2\0l3\0", 9);
    QTest::newRow("text ends across blocks")
        << true << QList<QByteArray>{QByteArray("l1\0l2\0", 6), zeros} << -1 << false
        << QByteArray() << QByteArray("l1\0l2\0", 6);
    QTest::newRow("text short journal is kept")
        << true << QList<QByteArray>{QByteArray("l1\0\0", 4)} << -1 << false << QByteArray()
        << QByteArray("l1\0", 3);
    QTest::newRow("text limit") << true
                                << QList<QByteArray>{QByteArray("l1\0l", 4),
                                                     QByteArray("2\0l3\0", 5), zeros}
                                << 1 << false << QByteArray() << QByteArray("l1\0l", 4);
    QTest::newRow("text without end mark ends with the memory")
        << true << QList<QByteArray>{QByteArray("l1\0l2\0\xff\xff", 8), QByteArray(8, char(0xFF))}
        << -1 << false << QByteArray()
        << QByteArray("l1\0l2\0\xff\xff", 8) + QByteArray(8, char(0xFF));
    QTest::newRow("text continuation across blocks")
        << true << QList<QByteArray>{QByteArray("n1\0ol", 5), QByteArray("d\0x\0", 4), zeros} << -3
        << true << QByteArray("old\0older\0", 10) << QByteArray("n1\0old\0older\0", 13);
    // The marker is the newest line that is not empty; nothing new leaves the file as it is.
    QTest::newRow("text continuation behind an empty newest line")
        << true << QList<QByteArray>{QByteArray("\0n1\0old\0", 8), zeros} << -3 << true
        << QByteArray("\0old\0", 5) << QByteArray("\0n1\0old\0", 8);
    QTest::newRow("text continuation of an unchanged empty newest line")
        << true << QList<QByteArray>{QByteArray("\0old\0", 5), zeros} << -3 << true
        << QByteArray("\0old\0", 5) << QByteArray("\0old\0", 5);
    // Without the marker, the old lines the new data holds are not repeated.
    QTest::newRow("text continuation missing marker")
        << true << QList<QByteArray>{QByteArray("n1\0o2\0", 6), zeros} << -3 << true
        << QByteArray("o1\0o2\0o3\0", 9) << QByteArray("n1\0o2\0o1\0o3\0", 12);
}

void TestSimulatedController::referenceModel()
{
    QFETCH(bool, marked);
    QFETCH(QList<QByteArray>, blocks);
    QFETCH(int, limit);
    QFETCH(bool, exists);
    QFETCH(QByteArray, existing);
    QFETCH(QByteArray, expected);
    // Past the listed blocks: zeroed text memory, or none at all for the rows
    // that end with erased flash.
    const bool erasedText = marked && blocks.last().startsWith(char(0xFF));
    const auto block = [&](int n) {
        return n < blocks.size() ? blocks.at(n) : QByteArray(marked && !erasedText ? 8 : 0, '\0');
    };
    QCOMPARE(expectedJournalFile(block, marked, limit, exists, existing).toHex(' '),
             expected.toHex(' '));
}

void TestSimulatedController::growingJournalContinues_data()
{
    QTest::addColumn<Family>("family");
    QTest::addColumn<int>("grow");
    QTest::newRow("binary, less than a block") << Family::Gen317 << 5;
    QTest::newRow("binary, several blocks") << Family::Gen314 << 29;
    QTest::newRow("text") << Family::Vegal << 9;
}

void TestSimulatedController::growingJournalContinues()
{
    QFETCH(Family, family);
    QFETCH(int, grow);
    SimulatedController c(9, family, 11);
    c.setJournalEntries(100);
    const QByteArray first = c.expectedJournalFile(BlocksAll);
    const QByteArray before = c.journal();
    c.growJournal(grow);
    const QByteArray fresh = c.journal().left(c.journal().size() - before.size());
    QCOMPARE(c.journal().mid(fresh.size()), before);
    if (!c.isMarked()) {
        QCOMPARE(fresh.size(), grow * RecordSize);
        QVERIFY(recordTime(fresh.right(8)) > recordTime(before.left(8)));
    } else {
        QCOMPARE(lines(fresh).size(), grow);
    }
    // "Only new" puts exactly the new entries in front of the saved file.
    QCOMPARE(c.expectedJournalFile(BlocksNew, true, first), fresh + first);
}

void TestSimulatedController::fleetIsDeterministicAndCoversEveryFamily()
{
    SimulatedFleet a(24, 7);
    SimulatedFleet b(24, 7);
    QSet<int> families;
    QSet<int> forms;
    for (int i = 0; i < a.size(); ++i) {
        QCOMPARE(a.controller(i)->journal(), b.controller(i)->journal());
        QCOMPARE(a.controller(i)->config().stream, b.controller(i)->config().stream);
        families.insert(int(a.controller(i)->family()));
        forms.insert(int(a.controller(i)->config().form));
    }
    QCOMPARE(families.size(), 6);
    QCOMPARE(forms.size(), 4);
    QSet<int> kinds;
    for (int phase = 1; phase <= 2; ++phase)
        for (const auto& job : a.jobs(phase))
            kinds.insert(int(job.kind));
    QCOMPARE(kinds.size(), 6);
    const auto files = SimulatedFleet::expectedFinalFiles(24, 7);
    QVERIFY(files.size() > 40);
    QCOMPARE(files, SimulatedFleet::expectedFinalFiles(24, 7));
}

QTEST_GUILESS_MAIN(TestSimulatedController)
#include "tst_simulatedcontroller.moc"
