#pragma once

#include "queue/answeroutcome.h"

#include <QByteArray>
#include <QDateTime>
#include <QPointer>
#include <QString>
#include <QVector>

class QObject;
class SignalRelay;

// The record of one queued light. The download engine owns it; the light and
// the awaited response belong to the host.
struct QueueItem
{
    // What a queue shows of the item; a view turns it into texts.
    enum class Status {
        Waiting,
        WaitingForConnection,
        Downloading,
        Disconnected,
        Interrupted,
        Resumed,
        Completed,
        Failed // message holds the failure's text
    };
    // Where the item stands, as the queue's counts sum it up. Retrying: failed,
    // and sent for again when its delay runs out; Failed: failed for good.
    enum class Phase { Waiting, Downloading, Completed, Failed, Stopped, Retrying };
    // What kind of failure the item met, so that a view can say in plain
    // words what happened and what the operator can do.
    enum class Failure {
        None,
        NoCommand,         // the light's command could not be called
        ResponseLost,      // the host deleted the response before it answered
        ControllerError,   // the controller answered with an error
        WrongAnswer,       // an answer that does not fit the request
        WrongArea,         // a configuration of another area
        EmptyAnswer,       // a configuration without data
        InvalidConfigSize, // erased or damaged configuration memory
        TooLarge,          // more data than a download may hold
        SavedTooLarge,     // the journal to go on from is over the ceiling
        MergedTooLarge,    // that journal with the new records would be
        CannotRead,        // the journal to go on from cannot be read
        CannotWrite,       // the file to save to cannot be written
        Storage            // the configuration storage failed
    };
    static constexpr int phaseCount = 6;
    // The journal block counts a host asks for besides a number of blocks:
    // all the controller holds, or only what is newer than the saved journal.
    static constexpr int allBlocks = -1;
    static constexpr int onlyNewBlocks = -3;

    // What the exchange with the controller and the protocol decisions need.
    int loaded = 0; // journal: blocks received; configuration: bytes received
    int area = 0;   // configuration area asked for (always 0)
    bool textConfig = false;
    bool isTmHelix = false;
    bool stopped = false;
    bool done = false;
    int expected = 0; // journal: blocks argument; configuration: expected size
    int errors = 0;
    int retryDelay = 0;         // ms until a retry; 0 = none pending
    QPointer<QObject> response; // the awaited answer; null when none
    QByteArray buffer;
    QByteArray stopMarker;
    bool isVegal = false;
    int maxErrors = -1;

    // The file the download is saved to: in the directory current when the
    // item was queued, so that a later change of directory applies to later
    // requests only (and an only-new download merges with the journal it
    // went on from).
    QString filePath;
    // Only-new journals: the download met the saved journal's newest record.
    bool markerMet = false;
    // Complete, but its saving failed: the data stays (for View), and Retry or
    // Resume saves it again without asking the controller.
    bool savePending = false;
    // Failed for good, also while the row shows that the link is down: the
    // reason stays, and so do the Failed phase and Retry.
    bool finalFailure = false;

    // Only-new journals: the journal file to go on from is to be read (again)
    // before the next command; it was there but could not be read, or the
    // download starts over from it. Nothing goes out until it can be read: a
    // continuation is never saved without the journal it continues.
    bool rereadPrevious = false;
    // Unmarked journals: where each block received so far begins in buffer,
    // so that a block sent again replaces from its own start, whatever the
    // lengths of the blocks around it.
    QVector<int> blockStarts;
    // Binary journals: records at the start of each block received that repeat the
    // data before it (see BlockOverlap), in step with the blocks; a block
    // sent again takes its count with it.
    struct Repeats
    {
        int dropped = 0; // proven moved back by the controller's writing: saved once
        int kept = 0;    // maybe written twice by the controller: kept
    };
    QVector<Repeats> blockRepeats;
    // A proven move that the last block did not cover (see BlockOverlap).
    int carriedShift = 0;
    Repeats repeats() const
    {
        Repeats sum;
        for (const Repeats& r : blockRepeats) {
            sum.dropped += r.dropped;
            sum.kept += r.kept;
        }
        return sum;
    }
    // Answers in a row that took the download no further (a late duplicate,
    // or a controller stuck on an earlier position).
    int idleAnswers = 0;
    // The engine's relay for the light's signals and the awaited response's
    // finished(); owned by the engine.
    SignalRelay* relay = nullptr;

    // Answers in a row that may add nothing before the item fails (retryably).
    static constexpr int maxIdleAnswers = 3;

    // What a queue shows of the item: the light's id and type as queued, the
    // state, the failure's text, the type the data turned out to be
    // (NoTypeText: the light's), what was loaded (NoLoadedText: nothing yet)
    // and the progress bar.
    struct Shown
    {
        int id = 0;
        QString type;
        Status status = Status::Waiting;
        QString message;
        AnswerOutcome::TypeText typeText = AnswerOutcome::NoTypeText;
        QString headerType;
        AnswerOutcome::LoadedText loadedText = AnswerOutcome::NoLoadedText;
        qint64 loadedValue = 0;
        int barMaximum = 0;
        int barValue = 0;
        // When the item last failed or completed, and where it was saved; what
        // the saved file looked like then (size and modification time), so
        // that a View from a file changed since then can tell.
        QDateTime ended;
        QString savedPath;
        qint64 savedSize = -1;
        QDateTime savedModified;
        // The kind of the last failure, and the file it concerns (empty: none).
        Failure failure = Failure::None;
        QString failurePath;
        // The operator's Retries this round, and when the last one was asked for.
        int retries = 0;
        QDateTime retried;
        // Since when the item waits for its light's link.
        QDateTime waitingSince;
        // Only-new journals: the controller no longer held the saved journal's
        // newest record, so the new records went in front of it unjoined.
        bool markerMissed = false;
    } shown;
    // The phase the engine's counts hold the item in; -1: not counted.
    int counted = -1;

    // What the memory budget counts of the item: the bytes held, the size of
    // its last answer, whether it waits for memory or may grow past the
    // budget, and (completed) when it completed and that its data was given
    // back to its saved file.
    struct Memory
    {
        qint64 held = 0;
        int lastAnswerBytes = 0;
        bool waiting = false;
        bool exempt = false;
        bool givenBack = false;
        quint64 completionOrder = 0;
    } memory;

    bool isMarked() const { return isTmHelix || isVegal; }
    bool hasFailed() const
    {
        return shown.status == Status::Failed ||
               (shown.status == Status::Disconnected && finalFailure);
    }
    Phase phase() const
    {
        if (hasFailed())
            return retryDelay > 0 ? Phase::Retrying : Phase::Failed;
        if (done)
            return Phase::Completed;
        if (stopped)
            return Phase::Stopped;
        if (shown.status == Status::Downloading || shown.status == Status::Resumed)
            return Phase::Downloading;
        return Phase::Waiting;
    }
    // Still to go on by itself: waiting, downloading or to be retried.
    static constexpr bool isRunning(Phase phase)
    {
        return phase == Phase::Waiting || phase == Phase::Downloading || phase == Phase::Retrying;
    }
    // What the operator's actions can act on. Stop: anything still to go on,
    // a retry pending included, but not a failure given up on.
    bool canStop() const { return !done && !stopped && !(hasFailed() && retryDelay == 0); }
    bool canResume() const { return stopped && !done; }
    bool canRetry() const { return hasFailed() && !done; }
    bool canRemove() const { return true; }
    // A journal with data (a partial one too, or one given back to its
    // file), or a saved configuration.
    bool canOpen(bool journal) const
    {
        return journal ? memory.givenBack || !buffer.isEmpty() : done && loaded != 0;
    }
    // Holds data that no file holds: a part that Resume would complete, or a
    // download whose saving failed.
    bool holdsUnsaved() const { return !done && !buffer.isEmpty(); }
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
        memory.givenBack = false;
        blockStarts.clear();
        blockRepeats.clear();
        carriedShift = 0;
        loaded = 0;
        idleAnswers = 0;
        markerMet = false;
        savePending = false;
    }
};

// The light's item among a queue's items, or null.
template <typename Items>
auto findItem(Items& items, QObject* light) -> decltype(&*items.find(light))
{
    const auto it = items.find(light);
    return it == items.end() ? nullptr : &*it;
}
