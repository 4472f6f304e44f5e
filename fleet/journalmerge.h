#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <memory>
#include <vector>

class QFile;
class QIODevice;
class QTemporaryFile;

// One time line out of many journals. Each journal's kept records are sorted
// by time once and stored with their bytes as a run, in memory up to a budget
// and in a temporary file past it; the runs are then merged a head at a time,
// so that memory stays bounded by the budget whatever the fleet's size.
// Newest first: later keys first; equal keys by controller id, then in the
// order the journals were added, then as the journal stores them (newest
// first). Oldest first is exactly the other way, but for controllers and
// journals, which keep their order.
class JournalMerge
{
public:
    struct Entry
    {
        qint64 key = 0;   // the time, larger for later
        int position = 0; // in the journal's own order, newest first
        int offset = 0;   // where its bytes lie in the journal's bytes
        int length = 0;
    };
    // A record of the merged order: valid until the next call of next().
    struct Taken
    {
        int journal = 0;
        qint64 key = 0;
        const char* bytes = nullptr;
        int length = 0;
    };

    // Runs past memoryBudget bytes in all go to a temporary file.
    static constexpr qint64 DefaultBudget = 48 * 1024 * 1024;
    explicit JournalMerge(bool oldestFirst, qint64 memoryBudget = DefaultBudget);
    ~JournalMerge();
    JournalMerge(const JournalMerge&) = delete;
    JournalMerge& operator=(const JournalMerge&) = delete;

    // Keeps the entries (each with its bytes from bytes) as one journal's run;
    // returns the journal's index, or -1 when the temporary file failed.
    int addJournal(int controllerId, QVector<Entry> entries, const char* bytes);
    // Ends adding; false when the temporary file failed (see errorString()).
    bool start();
    // The next record of the merged order; false at the end or when reading
    // the temporary file failed.
    bool next(Taken* taken);

    bool spilled() const { return m_file != nullptr; }
    QString errorString() const { return m_error; }

private:
    struct Run
    {
        int controllerId = 0;
        qint64 begin = 0; // where its stored entries lie
        qint64 end = 0;
        qint64 read = 0;   // how far read, from begin
        QByteArray buffer; // read from the file, when spilled
        int bufferPos = 0; // the next entry in buffer
    };
    // A run's next entry as the heap compares it: held by value, so that
    // ordering thousands of journals touches no run; where the entry lies
    // stays valid while the run is not read from.
    struct Head
    {
        qint64 key = 0;
        int controllerId = 0;
        int journal = 0;
        const char* entry = nullptr;
    };
    // Moves the head at index down to its place: the heap's front is the
    // next entry of the merged order.
    void siftDown(size_t index);
    bool spill();
    bool fill(Run& run, int needed);
    // The stored entry at the run's cursor, or nullptr at its end or on failure.
    const char* peek(Run& run);
    bool before(const Head& a, const Head& b) const;
    void fail(const QString& what, const QIODevice* device);

    bool m_oldestFirst = false;
    qint64 m_budget = 0;
    QByteArray m_memory; // the runs, while they fit
    std::unique_ptr<QTemporaryFile> m_file;
    std::unique_ptr<QFile> m_reader; // the same file, read back
    qint64 m_fileSize = 0;
    std::vector<Run> m_runs;
    std::vector<Head> m_heap; // runs with entries left, as a heap; the next one in front
    int m_bufferSize = 0;
    int m_taken = -1; // the run that handed out the last record
    QString m_error;
};
