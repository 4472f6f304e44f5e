#include "host/jsonrpcclientplugin.h"

JsonRpcClientPlugin::JsonRpcClientPlugin(QObject* parent) : QObject(parent) {}

void JsonRpcClientPlugin::setArchivedConfig(const QString& id, const QString& datetime,
                                            const QByteArray& data)
{
    m_archive[id].insert(datetime, data);
}

QVariantMap JsonRpcClientPlugin::replyShell() const
{
    return QVariantMap{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                       {QStringLiteral("id"), m_calls.size()}};
}

QVariant JsonRpcClientPlugin::sendCommand(QString service, QString method, QVariant params)
{
    m_calls.append(Call{service, method, params});
    if (m_duringCall)
        m_duringCall();
    if (!m_scripted.isEmpty())
        return m_scripted.dequeue();

    QVariantMap reply = replyShell();
    const QVariantList list = params.toList();
    const QString id = list.value(0).toString();
    QByteArray found;
    if (method == QLatin1String("app.getConfig") && list.size() == 1) {
        found = m_current.value(id);
    } else if (method == QLatin1String("app.getConfigArchive") && list.size() == 2) {
        found = m_archive.value(id).value(list.at(1).toString());
    } else {
        reply.insert(QStringLiteral("error"),
                     QVariantMap{{QStringLiteral("code"), -32601},
                                 {QStringLiteral("message"), QStringLiteral("Method not found")}});
        return reply;
    }
    if (!found.isEmpty())
        reply.insert(QStringLiteral("result"), QString::fromLatin1(found.toBase64()));
    return reply;
}
