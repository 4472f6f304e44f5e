#include "fleet/controllerlist.h"

#include "core/journalversion.h"
#include "journal/messagedefinitionparser.h"

#include <QList>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextCodec>

QStringList ControllerList::parse(const QByteArray& text, QStringList* warnings)
{
    QStringList told;
    QTextCodec::ConverterState state;
    QString decoded =
        QTextCodec::codecForName("UTF-8")->toUnicode(text.constData(), text.size(), &state);
    if (state.invalidChars > 0) {
        decoded = MessageDefinitionParser::journalCodec()->toUnicode(text);
        if (warnings)
            *warnings << QStringLiteral("not UTF-8: read as Windows-1251");
    }
    const QStringList lines = decoded.split(QLatin1Char('\n'));
    QHash<int, int> firstLine;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int separator = line.indexOf(QLatin1Char(';'));
        bool ok = false;
        const int id = separator > 0 ? line.left(separator).trimmed().toInt(&ok) : 0;
        const QString type = separator > 0 ? line.mid(separator + 1).trimmed() : QString();
        if (!ok || type.isEmpty()) {
            told << QStringLiteral("line %1: not \"id;type\", skipped: %2").arg(i + 1).arg(line);
            continue;
        }
        if (m_conflicts.contains(id))
            continue;
        const auto known = m_types.constFind(id);
        if (known != m_types.constEnd() && *known != type) {
            told << QStringLiteral("line %1: controller %2 is listed as \"%3\" on line %4 and "
                                   "as \"%5\": its format is not known")
                        .arg(i + 1)
                        .arg(id)
                        .arg(*known)
                        .arg(firstLine.value(id))
                        .arg(type);
            m_types.remove(id);
            m_conflicts.insert(id);
            continue;
        }
        m_types.insert(id, type);
        firstLine.insert(id, i + 1);
    }
    return told;
}

QByteArray ControllerList::text(const Entries& controllers)
{
    QByteArray out;
    for (const auto& c : controllers)
        out += QByteArray::number(c.first) + ';' + c.second.toUtf8() + '\n';
    return out;
}

bool ControllerList::write(const QString& path, const Entries& controllers, QString* error)
{
    QSaveFile file(path);
    const QByteArray data = text(controllers);
    if (file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit())
        return true;
    if (error)
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
    return false;
}
