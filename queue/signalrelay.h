#pragma once

#include <QObject>

#include <functional>

// Carries a host object's signals to the engine together with what they are
// about, so the engine never has to search for the sender.
class SignalRelay : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    std::function<void()> onFinished;
    std::function<void(bool)> onConnected;
    std::function<void()> onLost;

public slots:
    void relayFinished()
    {
        if (onFinished)
            onFinished();
    }
    // The awaited response was destroyed before its finished().
    void relayLost()
    {
        if (onLost)
            onLost();
    }
    void relayConnected(bool connected)
    {
        if (onConnected)
            onConnected(connected);
    }
};
