#pragma once

#include <QByteArray>
#include <QPointer>

// The record of one queued light. The window owns it; the light and the
// awaited response belong to the host.
struct QueueItem
{
    int loaded = 0;     // journal: blocks received; configuration: bytes received
    int area = 0;       // configuration area asked for (always 0)
    int row = -1;       // row made for the item (rows move under sorting; see QueueWindow)
    bool textConfig = false;
    bool isTmHelix = false;
    bool stopped = false;
    bool done = false;
    int expected = 0;   // journal: blocks argument; configuration: expected size
    int errors = 0;
    int retryDelay = 0; // ms until a retry; 0 = none pending
    QObject* response = nullptr; // the awaited answer; null when none
    QByteArray buffer;
    QByteArray stopMarker;
    bool isVegal = false;
    int maxErrors = -1;
};
