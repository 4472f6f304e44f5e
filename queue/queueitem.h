#pragma once

#include <QByteArray>
#include <QVector>

class QObject;

// The record of one queued light. The window owns it; the light and the
// awaited response belong to the host.
struct QueueItem
{
    int loaded = 0; // journal: blocks received; configuration: bytes received
    int area = 0;   // configuration area asked for (always 0)
    int row = -1;   // current row of the item in the table (kept up to date by the window)
    bool textConfig = false;
    bool isTmHelix = false;
    bool stopped = false;
    bool done = false;
    int expected = 0; // journal: blocks argument; configuration: expected size
    int errors = 0;
    int retryDelay = 0;          // ms until a retry; 0 = none pending
    QObject* response = nullptr; // the awaited answer; null when none
    QByteArray buffer;
    QByteArray stopMarker;
    bool isVegal = false;
    int maxErrors = -1;

    // Continuation journals: the journal file as it was when the light was
    // queued. It goes behind the new records on every save, exactly once,
    // however often the download is stopped and resumed.
    QByteArray previousJournal;
    // Unmarked journals: where each block received so far begins in buffer,
    // so that a block sent again replaces from its own start, whatever the
    // lengths of the blocks around it.
    QVector<int> blockStarts;
    // Answers in a row that took the download no further (a late duplicate,
    // or a controller stuck on an earlier position).
    int idleAnswers = 0;
    // The window's relays for the awaited response and for the light's link
    // signal; owned by the window.
    QObject* responseRelay = nullptr;
    QObject* lightRelay = nullptr;

    // Answers in a row that may add nothing before the item fails (retryably).
    static constexpr int maxIdleAnswers = 3;

    bool isMarked() const { return isTmHelix || isVegal; }
    // Counts an answer that took the download further or not; true when it
    // was the last idle answer allowed, and the count starts over.
    bool stalls(bool advanced)
    {
        idleAnswers = advanced ? 0 : idleAnswers + 1;
        if (idleAnswers < maxIdleAnswers)
            return false;
        idleAnswers = 0;
        return true;
    }
    // Lets go of what was received, so that a new start begins from nothing.
    void dropData()
    {
        buffer = QByteArray();
        blockStarts.clear();
        loaded = 0;
        idleAnswers = 0;
    }
};
