#pragma once

#include "bench/queue/benchlight.h"
#include "bench/scratchdir.h"
#include "core/downloadfile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

// What both of bench-queue's modes do around the module.

using BenchLights = std::vector<std::unique_ptr<BenchLight>>;

// The most lights of a run: their ids go into five-digit file names.
constexpr int maxLights = 99999;

// The object name of the module's journal queue dock, which a host's saved
// layout places.
constexpr char journalQueueDock[] = "journalQueueDoc";

// Lights 1 to count, all of one kind.
inline BenchLights makeLights(int count, BenchLight::Kind kind, int blocks = BenchLight::fullBlocks,
                              Answers answers = Answers::Posted)
{
    BenchLights lights;
    lights.reserve(size_t(count));
    for (int id = 1; id <= count; ++id)
        lights.push_back(std::make_unique<BenchLight>(id, kind, blocks, answers));
    return lights;
}

// A journal download of every light at once, asked by name as a host asks.
inline void queueJournals(QObject* module, const BenchLights& lights)
{
    for (const auto& light : lights)
        QMetaObject::invokeMethod(module, "loadJournal", Q_ARG(QObject*, light.get()),
                                  Q_ARG(int, -1));
}

// Closes the journal queue as the operator closes it, downloads under way or
// not, so that the next request makes a new window; the fault when the dock
// is not gone then, else nullptr.
inline const char* closeJournalQueue(QPointer<QDockWidget> dock)
{
    dock->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return dock ? "the journal queue's dock outlived its closing" : nullptr;
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
inline int wrongJournalFiles(const QDir& dir, const BenchLights& lights)
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
