// libFuzzer target: replies of both kinds of configuration storage, through
// fetchConfigFromStorage and the configuration engine's loadConfigFromStorage.
//
// Script: setup byte: bit 0 the storage kind (0 JSON-RPC client, 1 invoke);
// bit 1 an archive moment is asked for; bits 2-3 the light's family; bits 4-5
// the reply's shape (JSON-RPC: "result" as text, "result" as the Base64 of the
// payload, "error" with a code, no map at all; invoke: bytes or text); bit 6:
// JSON-RPC "error" and "result" together; bit 7 and a byte 'L': a large payload
// (byte * 128 KiB + word, one fill byte) instead of a 16-bit length and bytes.

#include "fuzzfixture.h"
#include "fuzzinput.h"
#include "host/hostlight.h"
#include "host/invokestorage.h"
#include "host/jsonrpcclientplugin.h"
#include "queue/downloadengine.h"
#include "queue/storagefetch.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

QVariant jsonRpcReply(uint8_t setup, const QByteArray& payload, int32_t code)
{
    QVariantMap map{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")}};
    const QVariantMap error{{QStringLiteral("code"), code},
                            {QStringLiteral("message"), QString::fromUtf8(payload.left(64))}};
    switch ((setup >> 4) & 3) {
    case 0:
        map.insert(QStringLiteral("result"), QString::fromLatin1(payload));
        break;
    case 1:
        map.insert(QStringLiteral("result"), QString::fromLatin1(payload.toBase64()));
        break;
    case 2:
        map.insert(QStringLiteral("error"), error);
        break;
    default:
        return QVariant(payload);
    }
    if (setup & 0x40)
        map.insert(QStringLiteral("error"), error);
    return map;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    if (!scratch().isValid())
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t setup = in.byte();
    const bool jsonRpc = !(setup & 1);
    const QString datetime = setup & 2 ? QStringLiteral("2026-11-01T00:00:00") : QString();
    const int32_t code = in.int32();
    QByteArray payload;
    // Large payloads are slow to make: only behind a marker byte.
    if ((setup & 0x80) && in.byte() == 'L') {
        const int n = in.byte() * 131072 + in.word();
        payload = QByteArray(n, char(in.byte()));
    } else {
        payload = in.bytes();
    }
    const QVariant reply =
        jsonRpc ? jsonRpcReply(setup, payload, code)
                : ((setup & 0x10) ? QVariant(QString::fromUtf8(payload)) : QVariant(payload));

    HostLight light(42, QString::fromUtf8(familyTypes[(setup >> 2) & 3]));
    JsonRpcClientPlugin rpc;
    InvokeStorage invoke;
    QObject* storage = jsonRpc ? static_cast<QObject*>(&rpc) : &invoke;
    rpc.enqueueReply(reply);
    rpc.enqueueReply(reply);
    invoke.enqueueReply(reply);
    invoke.enqueueReply(reply);

    const StorageFetchResult fetched = fetchConfigFromStorage(storage, &light, datetime);
    if (fetched.ok && fetched.data.isEmpty())
        abort();

    const QDir dir(scratch().path());
    const QString cnf = dir.absoluteFilePath(QStringLiteral("dat00042.cnf"));
    const QString json = dir.absoluteFilePath(QStringLiteral("dat00042.json"));
    QFile::remove(cnf);
    QFile::remove(json);

    // One engine for the whole run, as a host keeps its queue; each input clears it.
    static DownloadEngine engine(false);
    engine.setSaveDir(dir);
    QString saved;
    bool failed = false;
    const QMetaObject::Connection saves =
        QObject::connect(&engine, &DownloadEngine::downloadComplete,
                         [&](QObject*, const QString& file) { saved = file; });
    const QMetaObject::Connection failures =
        QObject::connect(&engine, &DownloadEngine::downloadFailed, [&] { failed = true; });
    engine.loadConfigFromStorage(storage, &light, datetime, int8_t(in.byte()));

    // The storage alone drives the item: the controller is not asked, and the
    // item ends saved with the storage's data or failed with nothing kept.
    const QueueItem* item = engine.item(&light);
    if (!item || light.commandCount() != 0 || item->response)
        abort();
    if (item->shown.status == QueueItem::Status::Completed) {
        if (saved.isEmpty() || item->buffer != fetched.data)
            abort();
    } else if (item->shown.status != QueueItem::Status::Failed || !saved.isEmpty() ||
               !item->buffer.isEmpty()) {
        abort();
    }
    engine.clear();
    QObject::disconnect(saves);
    QObject::disconnect(failures);

    // The light is left as it was, and what was saved is the storage's data whole.
    if (light.property("rpc").isValid())
        abort();
    if (!saved.isEmpty()) {
        QFile f(saved);
        if (!fetched.ok || failed || !f.open(QIODevice::ReadOnly) || f.readAll() != fetched.data)
            abort();
        if (light.property("dqueue_config").toString() != saved)
            abort();
    } else if (fetched.ok && !failed) {
        abort();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
