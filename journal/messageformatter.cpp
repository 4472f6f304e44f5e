#include "journal/messageformatter.h"

#include "journal/messagetemplate.h"

QString formatMessage(const QString& text, const QByteArray& record)
{
    const auto* bytes = reinterpret_cast<const uchar*>(record.constData());
    QString result;
    MessageTemplate(text).expand(bytes, record.size(), result);
    if (result.isEmpty())
        MessageTemplate::appendHexFallback(bytes, record.size(), result);
    return result;
}
