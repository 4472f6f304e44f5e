#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QQueue>
#include <QVariant>
#include <QVector>
#include <functional>

// A stand-in for the host's JSON-RPC client of the configuration storage. The
// module recognises it by its class name and asks it through sendCommand; it
// answers from configurations held per controller id (current, and archived by
// date and time) in the shape of JSON-RPC reply objects.
class JsonRpcClientPlugin : public QObject
{
    Q_OBJECT

public:
    struct Call
    {
        QString service;
        QString method;
        QVariant params;
    };

    explicit JsonRpcClientPlugin(QObject* parent = nullptr);

    void setConfig(const QString& id, const QByteArray& data) { m_current.insert(id, data); }
    void setArchivedConfig(const QString& id, const QString& datetime, const QByteArray& data);
    // The next calls answer exactly these replies, first in first out.
    void enqueueReply(const QVariant& reply) { m_scripted.enqueue(reply); }
    // Run while a call is being answered, as a client waiting on the network
    // would run the event loop.
    void setDuringCall(std::function<void()> hook) { m_duringCall = std::move(hook); }

    const QVector<Call>& calls() const { return m_calls; }

    // Reply shapes: {"jsonrpc", "id", "result": Base64 text} for a configuration,
    // {"jsonrpc", "id"} without "result" for none.
    Q_INVOKABLE QVariant sendCommand(QString service, QString method, QVariant params);

private:
    QVariantMap replyShell() const;

    QHash<QString, QByteArray> m_current;
    QHash<QString, QHash<QString, QByteArray>> m_archive;
    QQueue<QVariant> m_scripted;
    std::function<void()> m_duringCall;
    QVector<Call> m_calls;
};
