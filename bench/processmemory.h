#pragma once

#include <QByteArray>
#include <QFile>

#ifdef __GLIBC__
#include <malloc.h>
#endif

// What the benchmark process holds, as the system counts it: a field of
// /proc/self/status in KiB ("VmRSS:", "VmHWM:", "VmPeak:"), -1 where there is none.
inline long statusKiB(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Freed heap goes back to the system, so that it does not hide what the next
// measurement takes.
inline void trimHeap()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}
