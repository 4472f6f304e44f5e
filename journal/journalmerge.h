#pragma once

#include <QVector>

#include <vector>

// One time line out of many journals: every journal's entries sorted by time,
// then merged a head at a time, so the merged order needs no second copy.
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
        int offset = 0;   // where its bytes are kept
        int length = 0;
    };

    // Returns the journal's index.
    int addJournal(int controllerId, QVector<Entry> entries);

    void start(bool oldestFirst);
    // The next entry of the merged order and its journal; false at the end.
    bool next(int* journal, const Entry** entry);

private:
    struct Journal
    {
        int controllerId = 0;
        QVector<Entry> entries; // newest first
        int cursor = 0;         // entries taken
    };
    // A journal's next entry as the heap compares it: held by value, so that
    // ordering thousands of journals touches no journal's entries.
    struct Head
    {
        qint64 key = 0;
        int controllerId = 0;
        int journal = 0;
    };
    const Entry& head(int journal) const;
    Head headOf(int journal) const;
    bool before(const Head& a, const Head& b) const;

    std::vector<Journal> m_journals;
    std::vector<Head> m_heap; // journals with entries left; the next one in front
    bool m_oldestFirst = false;
};
