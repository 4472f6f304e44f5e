#include "host/hostlight.h"

#include "host/response.h"

#include <QTimer>

HostLight::HostLight(QVariant id, const QString& type, QObject* parent)
    : QObject(parent), m_id(std::move(id)), m_type(type)
{}

void HostLight::setConnected(bool connected)
{
    if (m_connected == connected)
        return;
    m_connected = connected;
    emit this->connected(connected);
}

QVector<Response*> HostLight::pendingResponses() const
{
    QVector<Response*> pending;
    for (const Command& c : m_commands)
        if (c.response && !c.response->isFinished())
            pending.append(c.response);
    return pending;
}

bool HostLight::finishNext(const QVariantList& data)
{
    const auto pending = pendingResponses();
    if (pending.isEmpty())
        return false;
    pending.first()->finishWithData(data);
    return true;
}

bool HostLight::failNext(int code, const QString& text)
{
    const auto pending = pendingResponses();
    if (pending.isEmpty())
        return false;
    pending.first()->finishWithError(code, text);
    return true;
}

Response* HostLight::sendCommand(QVariant command, QVariant args)
{
    if (m_failCalls)
        return nullptr;
    // The light owns its responses, as the host's do; they outlive the answer.
    auto* response = new Response(this);
    if (m_responseLifetime >= 0) {
        const int lifetime = m_responseLifetime;
        connect(response, &Response::finished, response, [response, lifetime] {
            QTimer::singleShot(lifetime, response, &QObject::deleteLater);
        });
    }
    Command c{command.toString(), args.toList(), response};
    m_commands.append(c);
    if (m_handler)
        m_handler(this, c);
    return response;
}
