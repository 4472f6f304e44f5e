#pragma once

#include "core/downloadfile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QString>
#include <QWidget>

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

// Missing, differing and unexpected journal files in dir. expected(id) gives
// what the journal of light id must hold, or a null array where none may be.
template <typename Ids, typename Expected>
int wrongJournalFiles(const QDir& dir, const Ids& ids, Expected expected)
{
    int wrong = 0;
    int present = 0;
    for (const int id : ids) {
        QFile file(dir.absoluteFilePath(DownloadFile::fileName(true, id)));
        const bool open = file.open(QIODevice::ReadOnly);
        present += open ? 1 : 0;
        const QByteArray wanted = expected(id);
        if (wanted.isNull() ? open : !open || file.readAll() != wanted)
            ++wrong;
    }
    return wrong + int(dir.entryList(QDir::Files | QDir::Hidden).size()) - present;
}
