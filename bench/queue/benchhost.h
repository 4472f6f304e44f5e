#pragma once

#include "bench/queue/benchlight.h"
#include "core/downloadfile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

// What both of bench-queue's modes do around the module.

// A QTemporaryDir template in memory when possible: the figures are the
// clients', not the disk's. Empty: the system's temporary directory.
inline QString scratchTemplate()
{
    const QString shm = QStringLiteral("/dev/shm");
    return QFileInfo(shm).isWritable() ? shm + QStringLiteral("/bench-queue-XXXXXX") : QString();
}

// The host's main window as a host just started has it: its saved layout
// back (the queue dock's place), shown unless the run is to paint nothing.
inline void prepareHost(QMainWindow& host, const QByteArray& layout, bool shown)
{
    host.setCentralWidget(new QWidget(&host));
    host.resize(1280, 800);
    host.restoreState(layout);
    if (shown)
        host.show();
    QCoreApplication::processEvents();
}

// Missing, differing and unexpected journal files in dir: each light's
// journal whole, a hostile one's nowhere.
inline int wrongJournalFiles(const QDir& dir,
                             const std::vector<std::unique_ptr<BenchLight>>& lights)
{
    int wrong = 0;
    int present = 0;
    for (const auto& light : lights) {
        QFile file(dir.absoluteFilePath(DownloadFile::fileName(true, light->id())));
        const bool open = file.open(QIODevice::ReadOnly);
        present += open ? 1 : 0;
        const QByteArray wanted = light->journal();
        if (wanted.isNull() ? open : !open || file.readAll() != wanted)
            ++wrong;
    }
    return wrong + int(dir.entryList(QDir::Files | QDir::Hidden).size()) - present;
}
