#pragma once

#include <QFileInfo>
#include <QString>

// A QTemporaryDir template in memory when possible: the figures are the
// clients', not the disk's. Empty: the system's temporary directory.
inline QString scratchTemplate()
{
    const QString shm = QStringLiteral("/dev/shm");
    return QFileInfo(shm).isWritable() ? shm + QStringLiteral("/bench-queue-XXXXXX") : QString();
}
