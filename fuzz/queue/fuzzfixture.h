#pragma once

#include <QDir>
#include <QTemporaryDir>

// What the queue fuzz targets share: the light types that pick each family
// (by two bits of the input) and one scratch directory for saved files.

inline const char* const familyTypes[] = {"Вегал V3.17", "TM_HELIX", "vegal2", "зелта"};

inline QTemporaryDir& scratch()
{
    // In memory where there is such a place: saving syncs each file to disk.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/dq-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/dq-fuzz-XXXXXX"));
    return dir;
}
