#include "host/invokestorage.h"

InvokeStorage::InvokeStorage(QObject* parent) : QObject(parent) {}

QVariant InvokeStorage::invoke(QString method, QVariantList params)
{
    m_calls.append(Call{method, params});
    if (!m_scripted.isEmpty())
        return m_scripted.dequeue();
    if (method != QLatin1String("getConfig"))
        return QByteArray("<Error>unknown method ") + method.toUtf8() + "</Error>";
    return m_configs.value(params.value(0).toString());
}
