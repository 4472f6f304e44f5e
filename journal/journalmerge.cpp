#include "journal/journalmerge.h"

#include <algorithm>

int JournalMerge::addJournal(int controllerId, QVector<Entry> entries)
{
    const auto newer = [](const Entry& a, const Entry& b) {
        return a.key != b.key ? a.key > b.key : a.position < b.position;
    };
    // Journals are mostly in order already.
    if (!std::is_sorted(entries.cbegin(), entries.cend(), newer))
        std::sort(entries.begin(), entries.end(), newer);
    Journal j;
    j.controllerId = controllerId;
    j.entries = std::move(entries);
    m_journals.push_back(std::move(j));
    return int(m_journals.size()) - 1;
}

const JournalMerge::Entry& JournalMerge::head(int journal) const
{
    const Journal& j = m_journals[size_t(journal)];
    return m_oldestFirst ? j.entries.at(j.entries.size() - 1 - j.cursor) : j.entries.at(j.cursor);
}

JournalMerge::Head JournalMerge::headOf(int journal) const
{
    return {head(journal).key, m_journals[size_t(journal)].controllerId, journal};
}

bool JournalMerge::before(const Head& a, const Head& b) const
{
    if (a.key != b.key)
        return m_oldestFirst ? a.key < b.key : a.key > b.key;
    return a.controllerId != b.controllerId ? a.controllerId < b.controllerId
                                            : a.journal < b.journal;
}

void JournalMerge::start(bool oldestFirst)
{
    m_oldestFirst = oldestFirst;
    m_heap.clear();
    for (size_t i = 0; i < m_journals.size(); ++i) {
        m_journals[i].cursor = 0;
        if (!m_journals[i].entries.isEmpty())
            m_heap.push_back(headOf(int(i)));
    }
    // std's heaps keep the largest in front: "larger" is "comes later".
    const auto later = [this](const Head& a, const Head& b) { return before(b, a); };
    std::make_heap(m_heap.begin(), m_heap.end(), later);
}

bool JournalMerge::next(int* journal, const Entry** entry)
{
    if (m_heap.empty())
        return false;
    const auto later = [this](const Head& a, const Head& b) { return before(b, a); };
    std::pop_heap(m_heap.begin(), m_heap.end(), later);
    const int j = m_heap.back().journal;
    *journal = j;
    *entry = &head(j);
    Journal& taken = m_journals[size_t(j)];
    ++taken.cursor;
    if (taken.cursor < taken.entries.size()) {
        m_heap.back() = headOf(j);
        std::push_heap(m_heap.begin(), m_heap.end(), later);
    } else {
        m_heap.pop_back();
    }
    return true;
}
