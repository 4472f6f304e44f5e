#pragma once

#include <QObject>
#include <QPointer>
#include <QVariant>
#include <QVector>
#include <functional>

class Response;

// A stand-in for the host's light object: the members the module reaches by name
// ("id", "type", "isConnected", connected(bool), sendCommand) and nothing else.
// What it answers is scripted by the test or simulator that owns it.
class HostLight : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QVariant id READ id WRITE setId)
    Q_PROPERTY(QString type READ type WRITE setType)
    Q_PROPERTY(bool isConnected READ isConnected)

public:
    struct Command
    {
        QString name;
        QVariantList args;
        QPointer<Response> response;
    };

    // Called for every command with the fresh response; it decides how and when
    // the response finishes. Without a handler, commands wait for finishNext().
    using Handler = std::function<void(HostLight* light, const Command& command)>;

    explicit HostLight(QVariant id = 0, const QString& type = QString(), QObject* parent = nullptr);

    QVariant id() const { return m_id; }
    void setId(const QVariant& id) { m_id = id; }
    QString type() const { return m_type; }
    void setType(const QString& type) { m_type = type; }
    bool isConnected() const { return m_connected; }

    // Changes the link state and emits connected(bool) when it changes.
    void setConnected(bool connected);

    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // When set, sendCommand returns null (the host failing the call).
    void setFailCalls(bool fail) { m_failCalls = fail; }
    // Deletes each response this long after its first finished() (negative: never),
    // as a host would over a long run; the module needs it only until then.
    void setResponseLifetime(int ms) { m_responseLifetime = ms; }

    // Every command received, oldest first.
    const QVector<Command>& commands() const { return m_commands; }
    int commandCount() const { return m_commands.size(); }
    Command lastCommand() const { return m_commands.isEmpty() ? Command() : m_commands.last(); }
    // Responses not yet finished, oldest first.
    QVector<Response*> pendingResponses() const;

    // Finish the oldest pending response now (for tests that answer on demand).
    bool finishNext(const QVariantList& data);
    bool failNext(int code, const QString& text = QString());

    Q_INVOKABLE Response* sendCommand(QVariant command, QVariant args);

signals:
    void connected(bool connected);

private:
    QVariant m_id;
    QString m_type;
    bool m_connected = true;
    bool m_failCalls = false;
    int m_responseLifetime = -1;
    Handler m_handler;
    QVector<Command> m_commands;
};
