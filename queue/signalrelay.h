#pragma once

#include <QObject>
#include <functional>

// Carries a host object's signals to the engine together with what they are
// about, so the engine never has to search for the sender.
class SignalRelay : public QObject
{
    Q_OBJECT

public:
    explicit SignalRelay(QObject* parent = nullptr) : QObject(parent) {}

    std::function<void()> onFinished;
    std::function<void(bool)> onConnected;

public slots:
    void relayFinished()
    {
        if (onFinished)
            onFinished();
    }
    void relayConnected(bool connected)
    {
        if (onConnected)
            onConnected(connected);
    }
};
