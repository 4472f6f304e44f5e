#pragma once

#include <QByteArray>

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
    // The window's relays for the awaited response and for the light's link
    // signal; owned by the window.
    QObject* responseRelay = nullptr;
    QObject* lightRelay = nullptr;

    bool isMarked() const { return isTmHelix || isVegal; }
    // Lets go of what was received, so that a new start begins from nothing.
    void dropData()
    {
        buffer = QByteArray();
        loaded = 0;
    }
};
