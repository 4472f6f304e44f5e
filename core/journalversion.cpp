#include "core/journalversion.h"

#include "core/controllerfamily.h"

namespace JournalVersion {

int forLight(bool isTmHelix, bool isVegal, const QString& type)
{
    if (isTmHelix)
        return TextJournalTmHelix;
    if (isVegal)
        return TextJournalVegal;
    QString t = type;
    if (!t.isEmpty() && !t.back().isDigit())
        t.chop(1);
    if (t == QStringLiteral("Вегал V3.15"))
        return 315;
    if (t == QStringLiteral("Вегал V3.16"))
        return 316;
    if (t == QStringLiteral("Вегал V3.17"))
        return 317;
    return 314;
}

bool isBinary(int version)
{
    return version >= 314 && version <= 317;
}

bool isKnown(int version)
{
    return isBinary(version) || version == TextJournalTmHelix || version == TextJournalVegal ||
           version == TextJournalOther;
}

int forType(const QString& type)
{
    return forLight(ControllerFamily::isTmHelixType(type), ControllerFamily::isVegalType(type),
                    type);
}

} // namespace JournalVersion
