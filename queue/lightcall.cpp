#include "queue/lightcall.h"

#include "queue/signalrelay.h"

#include <QThread>

QObject* LightCall::sendCommand(QObject* light, const QString& command, const QVariantList& args)
{
    if (light->thread() != QThread::currentThread())
        return nullptr;
    const QMetaObject* meta = light->metaObject();
    if (meta != m_commandMeta) {
        m_commandMeta = meta;
        const int index = meta->indexOfMethod("sendCommand(QVariant,QVariant)");
        m_sendCommand = index < 0 ? QMetaMethod() : meta->method(index);
    }
    QObject* response = nullptr;
    const QGenericReturnArgument result("Response*", &response);
    const bool invoked =
        m_sendCommand.invoke(light, Qt::DirectConnection, result,
                             Q_ARG(QVariant, QVariant(command)), Q_ARG(QVariant, QVariant(args)));
    return invoked ? response : nullptr;
}

void LightCall::connectLink(QObject* light, SignalRelay* relay)
{
    connectRelay(light, "connected(bool)", m_link, relay, "relayConnected(bool)");
}

void LightCall::connectFinished(QObject* response, SignalRelay* relay)
{
    connectRelay(response, "finished()", m_finished, relay, "relayFinished()");
    QObject::connect(response, &QObject::destroyed, relay, &SignalRelay::relayLost);
}

void LightCall::connectRelay(QObject* sender, const char* signal, CachedSignal& cached,
                             SignalRelay* relay, const char* slot)
{
    const QMetaObject* meta = sender->metaObject();
    if (meta != cached.meta) {
        cached.meta = meta;
        const int index = meta->indexOfSignal(signal);
        cached.method = index < 0 ? QMetaMethod() : meta->method(index);
    }
    if (!cached.slot.isValid())
        cached.slot = relay->metaObject()->method(relay->metaObject()->indexOfSlot(slot));
    if (cached.method.isValid())
        QObject::connect(sender, cached.method, relay, cached.slot);
    else // refused with Qt's own warning
        QObject::connect(sender, QByteArray("2").append(signal).constData(), relay,
                         QByteArray("1").append(slot).constData());
}
