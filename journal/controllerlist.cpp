#include "journal/controllerlist.h"

#include "core/journalversion.h"

#include <QList>
#include <QRegularExpression>

bool ControllerList::parse(const QByteArray& text, QString* error)
{
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines.at(i)).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int separator = line.indexOf(QLatin1Char(';'));
        bool ok = false;
        const int id = separator > 0 ? line.left(separator).trimmed().toInt(&ok) : -1;
        const QString type = separator > 0 ? line.mid(separator + 1).trimmed() : QString();
        if (!ok || id < 0 || type.isEmpty()) {
            if (error)
                *error = QStringLiteral("line %1: not \"id;type\": %2").arg(i + 1).arg(line);
            return false;
        }
        m_types.insert(id, type);
    }
    return true;
}

int ControllerList::versionForType(const QString& type)
{
    return JournalVersion::forType(type);
}

bool ControllerList::idFromFileName(const QString& fileName, int* id)
{
    // Any int the module may write: five digits at least, a sign where negative.
    static const QRegularExpression pattern(QStringLiteral("^Jrn(-?\\d{1,10})\\.bin$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(fileName);
    bool ok = false;
    const int value = m.hasMatch() ? m.captured(1).toInt(&ok) : 0;
    if (ok)
        *id = value;
    return ok;
}
