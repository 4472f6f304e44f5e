// The ceiling on what one download holds: whatever a controller or a storage
// sends, an item's data never grows past it; the item then gives up for good
// with "Error: data too large" and no file is written over. The viewer's
// openers show nothing larger (nor more rows than the viewer holds).
#include "core/downloadfile.h"
#include "host/hostlight.h"
#include "host/invokestorage.h"
#include "host/jsonrpcclientplugin.h"
#include "host/response.h"
#include "journal/journalopener.h"
#include "queue/configprotocol.h"
#include "queue/journalprotocol.h"
#include "queue/queuewindow.h"
#include "tests/specialfiles.h"

#include <QApplication>
#include <QPointer>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int MiB = 1024 * 1024;

// Answers of one kind, repeated: journal blocks [n, block] or configuration
// pieces [0, offset, piece] after an optional first piece.
struct Stream
{
    bool journal = true;
    QByteArray first; // configuration: the header or first piece
    QByteArray chunk; // every later block or piece
    QByteArray last;  // sent after `chunks` chunks (empty: none)
    int chunks = 0;
};

QByteArray records(int size, char fill)
{
    // Binary records that are never erased space (0xFF at a record's start).
    return QByteArray(size, fill);
}

} // namespace

Q_DECLARE_METATYPE(Stream)

class TestDownloadCeiling : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    static QString statusOf(QueueWindow& window)
    {
        auto* table = window.findChild<QTableWidget*>(QStringLiteral("queueTable"));
        return table && table->item(0, 5) ? table->item(0, 5)->text() : QString();
    }

    // Feeds the stream to the item through the protocol alone; returns the outcome
    // of the last answer given.
    static AnswerOutcome feed(QueueItem& item, const Stream& s)
    {
        AnswerOutcome out;
        int n = 0;
        const auto give = [&](const QByteArray& bytes) {
            const QVariantList answer =
                s.journal ? QVariantList{n, bytes} : QVariantList{0, item.loaded, bytes};
            ++n;
            out = s.journal ? JournalProtocol::handleBlock(item, answer)
                            : ConfigProtocol::handlePiece(item, answer);
            return out.action == AnswerOutcome::RequestNext;
        };
        if (!s.first.isEmpty() && !give(s.first))
            return out;
        for (int i = 0; i < s.chunks; ++i)
            if (!give(s.chunk))
                return out;
        if (!s.last.isEmpty())
            give(s.last);
        return out;
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void protocols_data()
    {
        QTest::addColumn<bool>("marked");
        QTest::addColumn<int>("blocks");
        QTest::addColumn<Stream>("stream");
        QTest::addColumn<bool>("tooLarge");

        Stream s;
        s.chunk = QByteArray(MiB, 'a');
        s.chunks = 40;
        QTest::newRow("text journal without two zero bytes") << true << -1 << s << true;
        // The zero that ends the last line stays: 16 MiB to the byte.
        s.chunks = 15;
        s.last = QByteArray(MiB - 1, 'a') + QByteArray(2, '\0');
        QTest::newRow("text journal of exactly the ceiling") << true << -1 << s << false;

        Stream b;
        b.chunk = records(2 * MiB, '\x11');
        b.chunks = 40;
        QTest::newRow("binary journal of huge blocks") << false << -1 << b << true;
        b.chunks = 8;
        QTest::newRow("binary journal limited to 8 huge blocks") << false << 8 << b << false;
        Stream huge;
        huge.first = records(17 * MiB, '\x11');
        QTest::newRow("one block past the ceiling") << false << 1 << huge << true;

        Stream text;
        text.journal = false;
        text.first = "#TxtCfg 1";
        text.chunk = QByteArray(MiB, 'x');
        text.chunks = 20;
        QTest::newRow("text configuration without END.") << false << -1 << text << true;
        text.chunks = 15;
        text.last = "END.";
        QTest::newRow("text configuration just below") << false << -1 << text << false;

        Stream json;
        json.journal = false;
        json.first = "#jcfg len=99999999 type=vegal2 {";
        json.chunk = QByteArray(MiB, '{');
        json.chunks = 20;
        QTest::newRow("JSON configuration without its zero byte") << false << -1 << json << true;

        Stream image;
        image.journal = false;
        image.first = QByteArray::fromHex("0400ffff") + QByteArray(17 * MiB, 'i');
        QTest::newRow("binary image piece past the ceiling") << false << -1 << image << true;
    }

    void protocols()
    {
        QFETCH(bool, marked);
        QFETCH(int, blocks);
        QFETCH(Stream, stream);
        QFETCH(bool, tooLarge);
        QueueItem item;
        item.isTmHelix = marked;
        item.expected = stream.journal ? blocks : 0;
        const AnswerOutcome out = feed(item, stream);
        if (tooLarge) {
            QCOMPARE(out.action, AnswerOutcome::Fail);
            QCOMPARE(out.failure, AnswerOutcome::DataTooLarge);
            // Given up: nothing held, and a new start begins from nothing.
            QVERIFY(item.buffer.isEmpty());
            QCOMPARE(item.loaded, 0);
        } else {
            QCOMPARE(out.action, AnswerOutcome::Complete);
            QVERIFY(item.buffer.size() <= DownloadFile::maxSize);
        }
    }

    // Through the window: the existing file stays, the host hears of the
    // failure, and a returning link does not start the flood again.
    void window_data()
    {
        QTest::addColumn<bool>("journal");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QVariantList>("first");
        QTest::addColumn<QByteArray>("chunk");

        QTest::newRow("text journal")
            << true << "TM_HELIX" << QVariantList() << QByteArray(MiB, 'j');
        QTest::newRow("binary journal")
            << true << "swarco" << QVariantList() << records(MiB, '\x22');
        QTest::newRow("text configuration")
            << false << "swarco" << QVariantList{0, 0, QByteArray("#TxtCfg")}
            << QByteArray(MiB, 't');
        QTest::newRow("JSON configuration")
            << false << "swarco" << QVariantList{0, 0, QByteArray("#jcfg type=x {")}
            << QByteArray(MiB, 'j');
    }

    void window()
    {
        QFETCH(bool, journal);
        QFETCH(QString, type);
        QFETCH(QVariantList, first);
        QFETCH(QByteArray, chunk);

        QueueWindow window(nullptr, journal);
        window.setSaveDir(QDir(dir.path()));
        HostLight light(7, type);
        const QString path = dir.filePath(journal ? "Jrn00007.bin" : "dat00007.cnf");
        const QString json = dir.filePath("dat00007.json");
        for (const QString& p : {path, json}) {
            QFile f(p);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("previous");
        }
        QSignalSpy failed(&window, &QueueWindow::downloadFailed);
        QSignalSpy complete(&window, &QueueWindow::downloadComplete);
        window.enqueue(&light, -1);
        if (!first.isEmpty())
            QVERIFY(light.finishNext(first));
        qint64 sent = 0;
        // Each answer is for the block or offset asked for.
        const auto asked = [&light, journal] {
            return light.lastCommand().args.value(journal ? 0 : 1);
        };
        while (light.finishNext(journal ? QVariantList{asked(), chunk}
                                        : QVariantList{0, asked(), chunk})) {
            sent += chunk.size();
            QVERIFY2(sent <= 2 * DownloadFile::maxSize, "no end to the download");
        }
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).at(1).toString(), QStringLiteral("Error: data too large"));
        QTRY_COMPARE(statusOf(window), QStringLiteral("Error: data too large"));
        QCOMPARE(complete.size(), 0);
        for (const QString& p : {path, json}) {
            QFile f(p);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("previous"));
        }
        const int commands = light.commandCount();
        light.setConnected(false);
        light.setConnected(true);
        QCOMPARE(light.commandCount(), commands);
        // Stop on the given-up item writes nothing either.
        window.findChild<QTableWidget*>()->selectAll();
        window.stopDownloading();
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("previous"));
    }

    // The host, told of the failure, deletes the window or asks again at once.
    void hostReactsToFailure_data()
    {
        QTest::addColumn<bool>("deleteWindow");
        QTest::newRow("window deleted") << true;
        QTest::newRow("light queued again") << false;
    }

    void hostReactsToFailure()
    {
        QFETCH(bool, deleteWindow);
        QPointer<QueueWindow> window = new QueueWindow(nullptr, true);
        window->setSaveDir(QDir(dir.path()));
        HostLight light(11, QStringLiteral("TM_HELIX"));
        int failures = 0;
        connect(window, &QueueWindow::downloadFailed, this, [&](QObject* l, const QString&) {
            if (++failures > 1)
                return;
            if (deleteWindow)
                delete window;
            else
                window->enqueue(l, -1);
        });
        window->enqueue(&light, -1);
        QVERIFY(light.finishNext({0, QByteArray(17 * MiB, 'x')}));
        QCOMPARE(failures, 1);
        QCOMPARE(window.isNull(), deleteWindow);
        if (deleteWindow)
            return;
        // The new request runs as any other, not given up with the old one.
        QVERIFY(light.finishNext({0, QByteArray("line\0", 5)}));
        const int commands = light.commandCount();
        light.setConnected(false);
        light.setConnected(true);
        QCOMPARE(light.commandCount(), commands + 1);
        light.pendingResponses().last()->finishWithData({1, QByteArray(2, '\0')});
        QFile f(dir.filePath("Jrn00011.bin"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("line\0", 5));
        delete window;
    }

    // A journal file past the ceiling is not read to go on from: the request
    // fails at once, nothing is asked and the file stays.
    void continuationOfHugeFile()
    {
        QueueWindow window(nullptr, true);
        window.setSaveDir(QDir(dir.path()));
        HostLight light(8, QStringLiteral("swarco"));
        const QString path = dir.filePath("Jrn00008.bin");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(qint64(DownloadFile::maxSize) + 1));
        }
        QSignalSpy failed(&window, &QueueWindow::downloadFailed);
        window.enqueue(&light, -3);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(light.commandCount(), 0);
        QCOMPARE(QFileInfo(path).size(), qint64(DownloadFile::maxSize) + 1);
        QFile::remove(path);
    }

    // New records and the previous journal together past the ceiling.
    void continuationGrowingPastCeiling()
    {
        QueueWindow window(nullptr, true);
        window.setSaveDir(QDir(dir.path()));
        HostLight light(9, QStringLiteral("TM_HELIX"));
        const QString path = dir.filePath("Jrn00009.bin");
        const QByteArray previous = QByteArray("old\0", 4) + QByteArray(10 * MiB, 'p');
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(previous);
        }
        QSignalSpy failed(&window, &QueueWindow::downloadFailed);
        window.enqueue(&light, -3);
        QVERIFY(light.finishNext({0, QByteArray(7 * MiB, 'n') + QByteArray("\0old\0", 5)}));
        QCOMPARE(failed.size(), 1);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), previous);
    }

    void storage_data()
    {
        QTest::addColumn<bool>("jsonRpc");
        QTest::newRow("JSON-RPC") << true;
        QTest::newRow("invoke") << false;
    }

    void storage()
    {
        QFETCH(bool, jsonRpc);
        QueueWindow window(nullptr, false);
        window.setSaveDir(QDir(dir.path()));
        HostLight light(10, QStringLiteral("swarco"));
        JsonRpcClientPlugin rpc;
        InvokeStorage invoke;
        const QByteArray config(DownloadFile::maxSize + 1, 'c');
        rpc.setConfig(QStringLiteral("10"), config);
        invoke.setConfig(QStringLiteral("10"), config);
        QSignalSpy failed(&window, &QueueWindow::downloadFailed);
        window.loadConfigFromStorage(jsonRpc ? static_cast<QObject*>(&rpc) : &invoke, &light,
                                     QString(), -1);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).at(1).toString(), QStringLiteral("Error: data too large"));
        QVERIFY(!QFile::exists(dir.filePath("dat00010.cnf")));
    }

    void openers_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QByteArray>("line"); // the file is this, repeated
        QTest::addColumn<bool>("shown");
        // Text without line ends: nothing to decode, whatever the size.
        const QByteArray noLineEnd("a");
        QTest::newRow("past the ceiling")
            << "big.bin" << qint64(DownloadFile::maxSize) + 1 << noLineEnd << false;
        QTest::newRow("at the ceiling")
            << "edge.bin" << qint64(DownloadFile::maxSize) << noLineEnd << true;
        QTest::newRow("a device") << SpecialFiles::device() << qint64(-1) << noLineEnd << false;
        // Within the ceiling, but more rows than the viewer holds in a 32-bit host.
        const QByteArray shortest("1 2 I 3 4", 10);
        QTest::newRow("too many rows")
            << "rows.bin" << qint64(JournalOpener::maxRows + 1) * shortest.size() << shortest
            << false;
    }

    void openers()
    {
        QFETCH(QString, file);
        QFETCH(qint64, size);
        QFETCH(QByteArray, line);
        QFETCH(bool, shown);
        const QString path = QDir(dir.path()).absoluteFilePath(file);
        const QByteArray data = size >= 0 ? line.repeated(int(size / line.size())) : QByteArray();
        if (size >= 0) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(data), size);
        }
        QWidget parent;
        // Refused within the ceiling: the operator is told why, by both openers.
        if (!shown && size >= 0 && size <= DownloadFile::maxSize) {
            const QString why = QStringLiteral("The journal has %1 records, more than the %2 the "
                                               "viewer shows: it is not opened.")
                                    .arg(size / line.size())
                                    .arg(JournalOpener::maxRows);
            QTest::ignoreMessage(QtCriticalMsg, qPrintable(why));
            QTest::ignoreMessage(QtCriticalMsg, qPrintable(why));
        }
        QWidget* dlg = JournalOpener::viewJournal(&parent, JournalVersion::TextJournalOther, path,
                                                  QDir(dir.path()), dir.path());
        QCOMPARE(dlg != nullptr, shown);
        if (size >= 0) {
            dlg = JournalOpener::showJournal(&parent, JournalVersion::TextJournalTmHelix, data,
                                             QDir(dir.path()));
            QCOMPARE(dlg != nullptr, shown);
            QFile::remove(path);
        }
    }
};

QTEST_MAIN(TestDownloadCeiling)
#include "tst_downloadceiling.moc"
