#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QQueue>
#include <QVariant>
#include <QVector>

// A stand-in for a storage object of the other kind: one generic invoke method
// that answers "getConfig" with the raw bytes of a controller's configuration,
// an empty reply when there is none, or a reply scripted by the test.
class InvokeStorage : public QObject
{
    Q_OBJECT

public:
    struct Call
    {
        QString method;
        QVariantList params;
    };

    explicit InvokeStorage(QObject* parent = nullptr);

    void setConfig(const QString& id, const QByteArray& data) { m_configs.insert(id, data); }
    // The next calls answer exactly these replies, first in first out.
    void enqueueReply(const QVariant& reply) { m_scripted.enqueue(reply); }

    const QVector<Call>& calls() const { return m_calls; }

    Q_INVOKABLE QVariant invoke(QString method, QVariantList params);

private:
    QHash<QString, QByteArray> m_configs;
    QQueue<QVariant> m_scripted;
    QVector<Call> m_calls;
};
