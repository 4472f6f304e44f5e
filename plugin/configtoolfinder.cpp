#include "plugin/configtoolfinder.h"

#include <QDir>
#include <QFileInfo>

namespace ConfigToolFinder {

QString defaultFileName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("varnik.exe");
#else
    return QStringLiteral("varnik");
#endif
}

QByteArray defaultSearchPath()
{
#ifdef Q_OS_WIN
    // The narrow environment holds only the ANSI code page's letters: a folder
    // named in Cyrillic on a Western system would be lost.
    return qEnvironmentVariable("PATH").toUtf8();
#else
    return qgetenv("PATH");
#endif
}

char defaultSeparator()
{
    return QDir::listSeparator().toLatin1();
}

static QString toolIn(const QString& dir, const QString& fileName)
{
    const QFileInfo info(QDir(dir), fileName);
    // Only a program can be started: a directory, a FIFO or a file without the
    // execute permission of that name is passed over, as the shell passes it.
    if (info.isFile() && info.isExecutable())
        return info.absoluteFilePath();
    return QString();
}

QString findConfigTool(const QString& appDir, const QByteArray& pathValue, char separator,
                       const QString& fileName)
{
    if (!appDir.isEmpty()) {
        const QString inAppDir = toolIn(appDir, fileName);
        if (!inAppDir.isEmpty())
            return inAppDir;
    }
    const QList<QByteArray> parts = pathValue.split(separator);
    for (const QByteArray& part : parts) {
        // QDir of an empty path is the current directory, as the shell reads an empty part.
        const QString found = toolIn(QString::fromUtf8(part), fileName);
        if (!found.isEmpty())
            return found;
    }
    return QString();
}

} // namespace ConfigToolFinder
