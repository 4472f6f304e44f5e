#pragma once

#include <QObject>
#include <functional>

// Carries a host object's signal to the window together with what it is
// about, so the window never has to search for the sender.
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
