#include "queue/storagefetch.h"

#include "core/downloadfile.h"

#include <QCoreApplication>
#include <QObject>
#include <QVariant>

namespace {

const char errorOpen[] = "<Error>";
const char errorClose[] = "</Error>";

StorageFetchResult failure(const QString& message, bool fatal)
{
    return {false, QByteArray(), message, fatal};
}

StorageFetchResult success(const QByteArray& data)
{
    // Nothing to save is no configuration at all.
    if (data.isEmpty())
        return failure(QCoreApplication::translate("QueueWindow", "Not in storage"), true);
    // Nor is more than a download may hold: no retry brings a smaller one.
    if (data.size() > DownloadFile::maxSize)
        return failure(QCoreApplication::translate("QueueWindow", "Error: data too large"), true);
    return {true, data, QString(), false};
}

// The text of an error reply "<Error>text</Error>": up to the closing tag when
// there is one, and never past a zero byte.
QString errorText(const QByteArray& reply)
{
    QByteArray text = reply.mid(int(sizeof(errorOpen)) - 1);
    const int close = text.indexOf(errorClose);
    if (close >= 0)
        text.truncate(close);
    const int zero = text.indexOf('\0');
    if (zero >= 0)
        text.truncate(zero);
    return QString::fromUtf8(text);
}

// Strict Base64, so that an HTML error page or a plain text is not saved as
// the configuration. Missing padding is accepted; a lone character after the
// last group of four can hold no byte, so such text is not Base64.
bool decodeBase64(const QByteArray& text, QByteArray& data)
{
    if (text.size() % 4 == 1)
        return false;
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    data = decoded.decoded;
    return true;
}

StorageFetchResult fetchJsonRpc(QObject* storage, QObject* light, const QString& datetime)
{
    QVariantList params{light->property("id")};
    QString method = QStringLiteral("app.getConfig");
    if (!datetime.isEmpty()) {
        method = QStringLiteral("app.getConfigArchive");
        params.append(datetime);
    }
    QVariant reply;
    if (!QMetaObject::invokeMethod(storage, "sendCommand", Q_RETURN_ARG(QVariant, reply),
                                   Q_ARG(QString, QStringLiteral("cnfStorage")),
                                   Q_ARG(QString, method), Q_ARG(QVariant, QVariant(params))))
        return failure(QCoreApplication::translate("QueueWindow", "Internal rpc error"), true);

    // A reply that is no map has neither "error" nor "result".
    const QVariantMap map = reply.toMap();
    const auto error = map.constFind(QStringLiteral("error"));
    if (error != map.constEnd()) {
        const QVariantMap e = error->toMap();
        // Both filled in one go: a '%' in the storage's text stays as it is.
        return failure(QCoreApplication::translate("QueueWindow", "RPC error %1 (%2)")
                           .arg(QString::number(e.value(QStringLiteral("code")).toInt()),
                                e.value(QStringLiteral("message")).toString()),
                       false);
    }

    const QByteArray result = map.value(QStringLiteral("result")).toByteArray();
    if (result.startsWith(errorOpen))
        return failure(
            QCoreApplication::translate("QueueWindow", "RPC error %1").arg(errorText(result)),
            false);
    // MIME encoders break the text into lines; the breaks carry nothing.
    QByteArray text = result;
    text.replace('\r', QByteArray()).replace('\n', QByteArray());
    // Not even decoded when it cannot fit.
    if (text.size() / 4 * 3 > DownloadFile::maxSize)
        return failure(QCoreApplication::translate("QueueWindow", "Error: data too large"), true);
    QByteArray data;
    if (!decodeBase64(text, data))
        return failure(QCoreApplication::translate("QueueWindow", "Storage return invalid data"),
                       true);
    if (data.startsWith(errorOpen))
        return failure(
            QCoreApplication::translate("QueueWindow", "RPC error %1").arg(errorText(data)), false);
    return success(data);
}

StorageFetchResult fetchInvoke(QObject* storage, QObject* light)
{
    QVariant reply;
    if (!QMetaObject::invokeMethod(
            storage, "invoke", Q_RETURN_ARG(QVariant, reply),
            Q_ARG(QString, QStringLiteral("getConfig")),
            Q_ARG(QVariantList, QVariantList{light->property("id").toString()})))
        return failure(QCoreApplication::translate("QueueWindow", "Internal rpc error"), true);

    // An empty reply is no configuration: success() says so.
    const QByteArray data = reply.toByteArray();
    if (data.startsWith(errorOpen)) {
        // Without its closing tag the reply is cut short: there is no message to show.
        if (data.indexOf(errorClose) < 0)
            return failure(QCoreApplication::translate("QueueWindow", "Storage return empty data"),
                           false);
        return failure(errorText(data), false);
    }
    return success(data);
}

} // namespace

StorageFetchResult fetchConfigFromStorage(QObject* cnfStorage, QObject* light,
                                          const QString& datetime)
{
    if (!cnfStorage || !light)
        return failure(QCoreApplication::translate("QueueWindow", "Internal rpc error"), true);
    if (cnfStorage->inherits("JsonRpcClientPlugin"))
        return fetchJsonRpc(cnfStorage, light, datetime);
    return fetchInvoke(cnfStorage, light);
}
