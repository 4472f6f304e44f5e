#include "journal/journalopener.h"

#include <QWidget>

namespace JournalOpener {

// Placeholder until the viewer dialog lands: nothing is shown.
QWidget* viewJournal(QWidget*, int, const QString&, const QDir&, const QString&)
{
    return nullptr;
}

QWidget* showJournal(QWidget*, int, const QByteArray&, const QDir&)
{
    return nullptr;
}

int versionForLight(bool isTmHelix, bool isVegal, const QString& type)
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

} // namespace JournalOpener
