#include "workstation/controllerlistfile.h"

#include <QSaveFile>

namespace ControllerListFile {

QByteArray text(const QVector<QPair<int, QString>>& controllers)
{
    QByteArray out;
    for (const auto& c : controllers)
        out += QByteArray::number(c.first) + ';' + c.second.toUtf8() + '\n';
    return out;
}

bool write(const QString& path, const QVector<QPair<int, QString>>& controllers, QString* error)
{
    QSaveFile file(path);
    const QByteArray data = text(controllers);
    if (file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit())
        return true;
    if (error)
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
    return false;
}

} // namespace ControllerListFile
