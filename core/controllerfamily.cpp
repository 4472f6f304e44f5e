#include "core/controllerfamily.h"

namespace ControllerFamily {

bool isTmHelixType(const QString& type)
{
    return type.toLower() == QLatin1String("tm_helix");
}

bool isVegalType(const QString& type)
{
    const QString lower = type.toLower();
    return lower == QLatin1String("vegal2") || lower == QString::fromUtf8("зелта");
}

} // namespace ControllerFamily
