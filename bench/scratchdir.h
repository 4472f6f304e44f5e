#pragma once

#include <QFileInfo>
#include <QLatin1String>
#include <QString>

// A QTemporaryDir template in memory when possible, named after the program
// (`prefix`): the figures are the program's, not the disk's. Empty: the
// system's temporary directory.
inline QString scratchTemplate(const char* prefix)
{
    const QString shm = QStringLiteral("/dev/shm");
    return QFileInfo(shm).isWritable()
               ? shm + QLatin1Char('/') + QLatin1String(prefix) + QStringLiteral("-XXXXXX")
               : QString();
}
