#include "queue/answerfield.h"

#include <QVariant>

#include <cmath>
#include <limits>

namespace AnswerField {

bool position(const QVariant& field, qint64* value)
{
    bool ok = false;
    qint64 n = 0;
    switch (field.userType()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::QString:
    case QMetaType::QByteArray:
        n = field.toLongLong(&ok);
        break;
    case QMetaType::ULongLong: {
        const qulonglong u = field.toULongLong(&ok);
        ok = ok && u <= qulonglong(std::numeric_limits<qint64>::max());
        n = qint64(u);
        break;
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = field.toDouble();
        // Beyond 2^62 nothing can be asked for anyway; the bound keeps the cast defined.
        ok = std::isfinite(d) && std::floor(d) == d && std::fabs(d) < 4.6e18;
        n = ok ? qint64(d) : 0;
        break;
    }
    default:
        break;
    }
    if (!ok || n < 0)
        return false;
    *value = n;
    return true;
}

bool bytes(const QVariant& field, QByteArray* value)
{
    const int type = field.userType();
    if (type != QMetaType::QByteArray && type != QMetaType::QString)
        return false;
    *value = field.toByteArray();
    return true;
}

} // namespace AnswerField
