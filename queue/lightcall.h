#pragma once

#include <QMetaMethod>
#include <QObject>
#include <QVariantList>

class SignalRelay;

// Calls a light and connects its signals (and its responses') to a relay,
// all through the meta-object system: the host's classes are not known here.
// Methods and signals are looked up once per class, not per call.
class LightCall
{
public:
    // The light's response, or null when its sendCommand could not be called.
    // A light is called in its own thread only.
    QObject* sendCommand(QObject* light, const QString& command, const QVariantList& args);
    void connectLink(QObject* light, SignalRelay* relay);
    // Also the response's destruction: a host that deletes the response
    // before it answers must not leave the item waiting for ever.
    void connectFinished(QObject* response, SignalRelay* relay);

private:
    struct CachedSignal
    {
        const QMetaObject* meta = nullptr;
        QMetaMethod method;
        QMetaMethod slot; // the relay's
    };
    static void connectRelay(QObject* sender, const char* signal, CachedSignal& cached,
                             SignalRelay* relay, const char* slot);

    CachedSignal m_finished;
    CachedSignal m_link;
    const QMetaObject* m_commandMeta = nullptr;
    QMetaMethod m_sendCommand;
};
