#pragma once

#include <QByteArray>
#include <QString>

class QObject;

// The outcome of asking the configuration storage for one light's configuration.
struct StorageFetchResult
{
    bool ok = false;
    QByteArray data;    // the configuration, when ok
    QString message;    // the failure, when not ok
    bool fatal = false; // the failure is final at once (no retry)
};

// Asks cnfStorage for the light's configuration, synchronously. Two kinds of
// storage object are understood: the host's JSON-RPC client (a class inheriting
// "JsonRpcClientPlugin", asked through sendCommand("cnfStorage", method, params)
// for the current configuration, or the archived one valid at datetime when that
// is not empty) and any object with invoke("getConfig", [id]) returning raw bytes.
// Messages are in the "QueueWindow" translation context.
StorageFetchResult fetchConfigFromStorage(QObject* cnfStorage, QObject* light,
                                          const QString& datetime);
