#include "host/hostlight.h"
#include "host/invokestorage.h"
#include "host/jsonrpcclientplugin.h"
#include "queue/queuewindow.h"
#include "queue/storagefetch.h"
#include "tests/recordingprogram.h"

#include <QAction>
#include <QApplication>
#include <QPluginLoader>
#include <QPointer>
#include <QProgressBar>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

namespace {

enum Column { ObjectColumn, TypeColumn, StateColumn, LoadedColumn, ErrorsColumn, StatusColumn };

QVariantMap rpcReply(const char* key, const QVariant& value)
{
    return QVariantMap{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                       {QString::fromLatin1(key), value}};
}

QVariantMap rpcError(int code, const QString& message)
{
    return rpcReply("error", QVariantMap{{"code", code}, {"message", message}});
}

QString base64(const QByteArray& data)
{
    return QString::fromLatin1(data.toBase64());
}

// As MIME encoders write it: lines of 76 characters ending in CR LF.
QString base64Lines(const QByteArray& data)
{
    const QByteArray text = data.toBase64();
    QByteArray lines;
    for (int i = 0; i < text.size(); i += 76)
        lines += text.mid(i, 76) + "\r\n";
    return QString::fromLatin1(lines);
}

// Bytes 0..255 over and over: zero bytes and "<" included, so nothing may cut them.
QByteArray configOf(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char(i % 256);
    return data;
}

} // namespace

class TestStorageDownload : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // Talking to the storage objects.
    void replies_data();
    void replies();
    void remoteCalls();
    void callThatCannotBeMade();

    // Through the configuration window.
    void savedLikeADownload_data();
    void savedLikeADownload();
    void failures_data();
    void failures();
    void retryAsksTheController();
    void idNotANumber();
    void nullArgumentsAreIgnored();
    void queueClearedDuringTheCall();
    void windowDeletedDuringTheCall();
    void throughThePlugin();

private:
    QString cell(int row, int column) const;

    QScopedPointer<QTemporaryDir> dir;
    QPointer<QueueWindow> window;
};

void TestStorageDownload::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    window = new QueueWindow(nullptr, false);
    window->setSaveDir(QDir(dir->path()));
}

void TestStorageDownload::cleanup()
{
    delete window;
    dir.reset();
}

QString TestStorageDownload::cell(int row, int column) const
{
    auto* table = window->findChild<QTableWidget*>(QStringLiteral("queueTable"));
    if (!table || !table->item(row, column))
        return QStringLiteral("<none>");
    return table->item(row, column)->text();
}

void TestStorageDownload::replies_data()
{
    QTest::addColumn<bool>("jsonRpc");
    QTest::addColumn<QVariant>("reply");
    QTest::addColumn<QByteArray>("data"); // expected on success
    QTest::addColumn<QString>("message"); // expected on failure
    QTest::addColumn<bool>("fatal");

    const QByteArray cfg = configOf(300);
    QTest::newRow("rpc: configuration")
        << true << QVariant(rpcReply("result", base64(cfg))) << cfg << "" << false;
    QTest::newRow("rpc: configuration in lines")
        << true << QVariant(rpcReply("result", base64Lines(cfg))) << cfg << "" << false;
    QTest::newRow("rpc: configuration without padding")
        << true << QVariant(rpcReply("result", "QUJDRA")) << QByteArray("ABCD") << "" << false;
    QTest::newRow("rpc: HTML page is invalid data")
        << true << QVariant(rpcReply("result", "<html><body>502 Bad Gateway</body></html>"))
        << QByteArray() << "Storage return invalid data" << true;
    QTest::newRow("rpc: plain text is invalid data")
        << true << QVariant(rpcReply("result", "Not found")) << QByteArray()
        << "Storage return invalid data" << true;
    QTest::newRow("rpc: lone last character is invalid data")
        << true << QVariant(rpcReply("result", base64(cfg) + "Q")) << QByteArray()
        << "Storage return invalid data" << true;
    QTest::newRow("rpc: error object is retryable")
        << true << QVariant(rpcError(5, "No route 100%")) << QByteArray()
        << "RPC error 5 (No route 100%)" << false;
    QTest::newRow("rpc: error key alone decides")
        << true << QVariant(QVariantMap{{"error", QVariant()}, {"result", base64("x")}})
        << QByteArray() << "RPC error 0 ()" << false;
    QTest::newRow("rpc: error text in the clear")
        << true << QVariant(rpcReply("result", "<Error>Object unknown</Error>")) << QByteArray()
        << "RPC error Object unknown" << false;
    QTest::newRow("rpc: error text inside Base64")
        << true << QVariant(rpcReply("result", base64("<Error>No config</Error>trailer")))
        << QByteArray() << "RPC error No config" << false;
    QTest::newRow("rpc: unclosed error text ends at zero byte")
        << true << QVariant(rpcReply("result", base64(QByteArray("<Error>Ошибка\0junk", 24))))
        << QByteArray() << QString::fromUtf8("RPC error Ошибка") << false;
    QTest::newRow("rpc: no result")
        << true << QVariant(rpcReply("id", 1)) << QByteArray() << "Not in storage" << true;
    QTest::newRow("rpc: empty result")
        << true << QVariant(rpcReply("result", "")) << QByteArray() << "Not in storage" << true;
    QTest::newRow("rpc: reply not a map")
        << true << QVariant(QStringLiteral("result")) << QByteArray() << "Not in storage" << true;

    QTest::newRow("invoke: configuration") << false << QVariant(cfg) << cfg << "" << false;
    QTest::newRow("invoke: error text is the message")
        << false << QVariant(QByteArray("<Error>Locked by editor</Error>")) << QByteArray()
        << "Locked by editor" << false;
    QTest::newRow("invoke: error text to its zero byte")
        << false << QVariant(QByteArray("<Error>ab\0cd</Error>", 20)) << QByteArray() << "ab"
        << false;
    QTest::newRow("invoke: unclosed error text")
        << false << QVariant(QByteArray("<Error>half a message")) << QByteArray()
        << "Storage return empty data" << false;
    QTest::newRow("invoke: empty reply")
        << false << QVariant(QByteArray()) << QByteArray() << "Not in storage" << true;
    QTest::newRow("invoke: null reply")
        << false << QVariant() << QByteArray() << "Not in storage" << true;
}

void TestStorageDownload::replies()
{
    QFETCH(bool, jsonRpc);
    QFETCH(QVariant, reply);
    QFETCH(QByteArray, data);
    QFETCH(QString, message);
    QFETCH(bool, fatal);

    HostLight light(12, QStringLiteral("vegal2"));
    JsonRpcClientPlugin rpc;
    InvokeStorage invoke;
    QObject* storage = jsonRpc ? static_cast<QObject*>(&rpc) : &invoke;
    if (jsonRpc)
        rpc.enqueueReply(reply);
    else
        invoke.enqueueReply(reply);

    const StorageFetchResult r = fetchConfigFromStorage(storage, &light, QString());
    QCOMPARE(r.ok, !data.isEmpty());
    QCOMPARE(r.data, data);
    QCOMPARE(r.message, message);
    QCOMPARE(r.fatal, fatal);
}

void TestStorageDownload::remoteCalls()
{
    HostLight light(12, QStringLiteral("swarco"));
    JsonRpcClientPlugin rpc;
    rpc.setConfig("12", "current");
    rpc.setArchivedConfig("12", "2024-03-01 10:00:00", "archived");
    InvokeStorage invoke;
    invoke.setConfig("12", "raw");

    QCOMPARE(fetchConfigFromStorage(&rpc, &light, QString()).data, QByteArray("current"));
    QCOMPARE(fetchConfigFromStorage(&rpc, &light, "2024-03-01 10:00:00").data,
             QByteArray("archived"));
    QCOMPARE(rpc.calls().size(), 2);
    QCOMPARE(rpc.calls().at(0).service, QStringLiteral("cnfStorage"));
    QCOMPARE(rpc.calls().at(0).method, QStringLiteral("app.getConfig"));
    // The id goes over as the light gives it.
    QCOMPARE(rpc.calls().at(0).params, QVariant(QVariantList{QVariant(12)}));
    QCOMPARE(rpc.calls().at(1).method, QStringLiteral("app.getConfigArchive"));
    QCOMPARE(rpc.calls().at(1).params,
             QVariant(QVariantList{QVariant(12), QStringLiteral("2024-03-01 10:00:00")}));

    // The other kind knows no archive: the date plays no part.
    QCOMPARE(fetchConfigFromStorage(&invoke, &light, "2024-03-01").data, QByteArray("raw"));
    QCOMPARE(invoke.calls().size(), 1);
    QCOMPARE(invoke.calls().at(0).method, QStringLiteral("getConfig"));
    QCOMPARE(invoke.calls().at(0).params, QVariantList{QStringLiteral("12")});
}

void TestStorageDownload::callThatCannotBeMade()
{
    HostLight light(3);
    // A storage object of another thread cannot answer a call with a result.
    // It runs, and is deleted once its thread has ended (no deferred delete
    // left behind in a thread that no longer runs).
    QThread thread;
    auto* rpc = new JsonRpcClientPlugin;
    rpc->moveToThread(&thread);
    thread.start();
    const auto stop = qScopeGuard([&thread, rpc] {
        thread.quit();
        thread.wait();
        delete rpc;
    });
    // An object without the invoke method.
    QObject bare;

    for (QObject* storage : {static_cast<QObject*>(rpc), &bare}) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(".*"));
        const StorageFetchResult r = fetchConfigFromStorage(storage, &light, QString());
        QVERIFY(!r.ok);
        QCOMPARE(r.message, QStringLiteral("Internal rpc error"));
        QVERIFY(r.fatal);
    }
    QVERIFY(rpc->calls().isEmpty());
}

void TestStorageDownload::savedLikeADownload_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("fileName");

    QTest::newRow("vegal family, JSON name") << 12 << "vegal2" << 5000 << "dat00012.json";
    QTest::newRow("TM_HELIX in capitals") << 7 << "TM_HELIX" << 10 << "dat00007.json";
    QTest::newRow("other family, binary name") << 123456 << "swarco" << 1 << "dat123456.cnf";
}

void TestStorageDownload::savedLikeADownload()
{
    QFETCH(int, id);
    QFETCH(QString, type);
    QFETCH(int, size);
    QFETCH(QString, fileName);

    HostLight light(id, type);
    JsonRpcClientPlugin rpc;
    const QByteArray cfg = configOf(size);
    rpc.setConfig(QString::number(id), cfg);
    QSignalSpy complete(window.data(), SIGNAL(downloadComplete(QObject*, QString)));
    QSignalSpy failed(window.data(), SIGNAL(downloadFailed(QObject*, QString)));

    window->loadConfigFromStorage(&rpc, &light, QString(), -1);

    const QString path = QDir(dir->path()).absoluteFilePath(fileName);
    QCOMPARE(complete.count(), 1);
    QCOMPARE(complete.at(0).at(0).value<QObject*>(), &light);
    QCOMPARE(complete.at(0).at(1).toString(), path);
    QCOMPARE(failed.count(), 0);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), cfg);
    QCOMPARE(light.property("dqueue_config").toString(), path);
    QCOMPARE(cell(0, LoadedColumn), QStringLiteral("%1 bytes").arg(size));
    QCOMPARE(cell(0, StatusColumn), QStringLiteral("completed"));
    QCOMPARE(cell(0, ErrorsColumn), QStringLiteral("0"));
    auto* table = window->findChild<QTableWidget*>(QStringLiteral("queueTable"));
    auto* bar = qobject_cast<QProgressBar*>(table->cellWidget(0, StateColumn));
    QVERIFY(bar);
    QCOMPARE(bar->value(), 100);
    QVERIFY(!light.property("rpc").isValid());
    QVERIFY(!light.dynamicPropertyNames().contains("rpc"));
    // Nothing went to the controller, now or later.
    QTest::qWait(50);
    QCOMPARE(light.commandCount(), 0);
}

void TestStorageDownload::failures_data()
{
    QTest::addColumn<QVariant>("reply");
    QTest::addColumn<int>("maxErrors");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("final");

    QTest::newRow("storage error, no limit")
        << QVariant(rpcError(5, "busy")) << -1 << "RPC error 5 (busy)" << false;
    QTest::newRow("storage error, limit 1 makes it final")
        << QVariant(rpcError(5, "busy")) << 1 << "RPC error 5 (busy)" << true;
    QTest::newRow("storage error, limit 2")
        << QVariant(rpcError(5, "busy")) << 2 << "RPC error 5 (busy)" << false;
    QTest::newRow("not in storage is final at once")
        << QVariant(rpcReply("id", 1)) << -1 << "Not in storage" << true;
}

void TestStorageDownload::failures()
{
    QFETCH(QVariant, reply);
    QFETCH(int, maxErrors);
    QFETCH(QString, message);
    QFETCH(bool, final);

    HostLight light(4, QStringLiteral("vegal2"));
    JsonRpcClientPlugin rpc;
    rpc.enqueueReply(reply);
    QSignalSpy complete(window.data(), SIGNAL(downloadComplete(QObject*, QString)));
    QSignalSpy failed(window.data(), SIGNAL(downloadFailed(QObject*, QString)));

    window->loadConfigFromStorage(&rpc, &light, QString(), maxErrors);

    QCOMPARE(cell(0, StatusColumn), message);
    QCOMPARE(cell(0, ErrorsColumn), QStringLiteral("1"));
    QCOMPARE(cell(0, LoadedColumn), QStringLiteral("0"));
    QCOMPARE(complete.count(), 0);
    QCOMPARE(failed.count(), final ? 1 : 0);
    if (final)
        QCOMPARE(failed.at(0).at(1).toString(), message);
    QVERIFY(!light.property("rpc").isValid());
    QVERIFY(QDir(dir->path()).entryList(QDir::Files).isEmpty());

    // Only an item left to retry from the controller follows the light's link.
    light.setConnected(false);
    light.setConnected(true);
    QCOMPARE(light.commandCount(), final ? 0 : 1);
}

void TestStorageDownload::retryAsksTheController()
{
    HostLight light(9, QStringLiteral("swarco"));
    JsonRpcClientPlugin rpc;
    rpc.enqueueReply(rpcReply("result", "<Error>timeout</Error>"));

    window->loadConfigFromStorage(&rpc, &light, QString(), -1);
    QCOMPARE(cell(0, StatusColumn), QStringLiteral("RPC error timeout"));
    QCOMPARE(light.commandCount(), 0);

    // The window's timer retries one to two seconds later, from the controller itself.
    QTRY_COMPARE_WITH_TIMEOUT(light.commandCount(), 1, 3500);
    QCOMPARE(light.lastCommand().name, QStringLiteral("GET_CONFIG"));
    QCOMPARE(light.lastCommand().args, (QVariantList{0, 0}));
    QCOMPARE(rpc.calls().size(), 1);
}

void TestStorageDownload::idNotANumber()
{
    HostLight light(QStringLiteral("K-12"));
    JsonRpcClientPlugin rpc;
    InvokeStorage invoke;
    window->loadConfigFromStorage(&rpc, &light, QString(), -1);
    window->loadConfigFromStorage(&invoke, &light, QString(), -1);
    QCOMPARE(cell(0, ObjectColumn), QStringLiteral("<none>"));
    QVERIFY(rpc.calls().isEmpty());
    QVERIFY(invoke.calls().isEmpty());
    QVERIFY(!light.property("rpc").isValid());
}

void TestStorageDownload::nullArgumentsAreIgnored()
{
    HostLight light(5);
    JsonRpcClientPlugin rpc;
    window->loadConfigFromStorage(nullptr, &light, QString(), -1);
    window->loadConfigFromStorage(&rpc, nullptr, QString(), -1);
    QCOMPARE(cell(0, ObjectColumn), QStringLiteral("<none>"));
    QVERIFY(rpc.calls().isEmpty());
    QVERIFY(!light.property("rpc").isValid());
}

void TestStorageDownload::queueClearedDuringTheCall()
{
    HostLight light(6, QStringLiteral("vegal2"));
    JsonRpcClientPlugin rpc;
    rpc.setConfig("6", "{}");
    rpc.setDuringCall([this] { window->clearQueue(); });
    QSignalSpy complete(window.data(), SIGNAL(downloadComplete(QObject*, QString)));
    QSignalSpy failed(window.data(), SIGNAL(downloadFailed(QObject*, QString)));

    window->loadConfigFromStorage(&rpc, &light, QString(), -1);
    QCOMPARE(complete.count() + failed.count(), 0);
    QVERIFY(QDir(dir->path()).entryList(QDir::Files).isEmpty());
    QVERIFY(!light.property("rpc").isValid());
}

void TestStorageDownload::windowDeletedDuringTheCall()
{
    HostLight light(6, QStringLiteral("vegal2"));
    JsonRpcClientPlugin rpc;
    rpc.setConfig("6", "{}");
    rpc.setDuringCall([this] { delete window; });

    window->loadConfigFromStorage(&rpc, &light, QString(), -1);
    QVERIFY(!window);
    QVERIFY(!light.property("rpc").isValid());
}

void TestStorageDownload::throughThePlugin()
{
    QPluginLoader loader(qEnvironmentVariable("DQ_MODULE"));
    QObject* dq = loader.instance();
    if (!dq)
        QSKIP(qPrintable(loader.errorString()));
    QVERIFY(dq->setProperty("configDir", dir->path()));

    HostLight light(31, QStringLiteral("vegal2"));
    JsonRpcClientPlugin rpc;
    rpc.setConfig("31", "current");
    rpc.setArchivedConfig("31", "2020-01-01", "archived");
    InvokeStorage invoke;
    invoke.setConfig("31", "raw");
    QSignalSpy complete(dq, SIGNAL(configurationDownloadComplete(QObject*, QString)));
    const QString path = QDir(dir->path()).absoluteFilePath("dat00031.json");
    auto saved = [&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };

    QVERIFY(QMetaObject::invokeMethod(dq, "loadConfigFromStorage", Q_ARG(QObject*, &rpc),
                                      Q_ARG(QObject*, &light)));
    QCOMPARE(saved(), QByteArray("current"));
    QVERIFY(QMetaObject::invokeMethod(dq, "loadConfigFromStorage", Q_ARG(QObject*, &rpc),
                                      Q_ARG(QObject*, &light), Q_ARG(QString, "2020-01-01")));
    QCOMPARE(saved(), QByteArray("archived"));
    QVERIFY(QMetaObject::invokeMethod(dq, "loadConfigFromStorage", Q_ARG(QObject*, &invoke),
                                      Q_ARG(QObject*, &light), Q_ARG(QString, QString()),
                                      Q_ARG(int, 1)));
    QCOMPARE(saved(), QByteArray("raw"));
    QCOMPARE(complete.count(), 3);
    QCOMPARE(complete.at(2).at(1).toString(), path);
    QVERIFY(!light.property("rpc").isValid());

    // "Run editor" on the completed row opens the saved file in the configuration tool.
    QWidget* queue = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("QueueWindow") && w != window)
            queue = w; // the plug-in's window, not the one of init()
    QVERIFY(queue);
    auto* table = queue->findChild<QTableWidget*>(QStringLiteral("queueTable"));
    QVERIFY(table && table->item(0, ObjectColumn));
    QAction* runEditor = table->actions().value(0);
    QVERIFY(runEditor);
    QCOMPARE(runEditor->text(), QStringLiteral("Run editor"));
    QTemporaryDir toolDir;
    const QString tool =
        makeRecordingProgram(QDir(toolDir.path()).filePath(QStringLiteral("varnik")));
    QVERIFY(!tool.isEmpty());
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(QDir::toNativeSeparators(toolDir.path())) +
                        QDir::listSeparator().toLatin1() + oldPath);
    table->item(0, ObjectColumn)->setSelected(true);
    runEditor->trigger();
    QCoreApplication::processEvents(); // the editor starts once the action has returned
    qputenv("PATH", oldPath);
    QCOMPARE(waitForRecordedRun(tool), (QStringList{QStringLiteral("1"), path}));

    delete queue;
    delete dq;
}

QTEST_MAIN(TestStorageDownload)
#include "tst_storagedownload.moc"
