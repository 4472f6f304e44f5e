#include "journal/journaltimeline.h"

#include "journal/journaltime.h"

#include <algorithm>
#include <limits>

void JournalTimeline::build(const QVector<int>& oldestFirst, const QVector<qint64>& when,
                            const QVector<bool>& errors)
{
    m_bins.clear();
    m_maxRecords = 0;
    qint64 first = std::numeric_limits<qint64>::max();
    qint64 last = std::numeric_limits<qint64>::min();
    for (const qint64 t : when) {
        if (t == JournalTime::Unknown)
            continue;
        first = std::min(first, t);
        last = std::max(last, t);
    }
    if (first > last)
        return;
    const qint64 days = (last - first) / Day + 1;
    m_binSeconds = days <= HourlyDays ? Hour : Day * ((days + MaxBins - 1) / MaxBins);
    m_start = first - first % m_binSeconds; // bins begin on the hour (or midnight)
    m_bins.resize(int((last - m_start) / m_binSeconds) + 1);
    for (const int record : oldestFirst) {
        const qint64 t = when.at(record);
        if (t == JournalTime::Unknown)
            continue;
        Bin& bin = m_bins[int((t - m_start) / m_binSeconds)];
        if (bin.first < 0)
            bin.first = record;
        ++bin.records;
        if (!errors.isEmpty() && errors.at(record))
            ++bin.errors;
    }
    for (const Bin& bin : qAsConst(m_bins))
        m_maxRecords = std::max(m_maxRecords, bin.records);
}

int JournalTimeline::binOf(qint64 when) const
{
    if (when == JournalTime::Unknown || when < m_start || m_bins.isEmpty())
        return -1;
    const qint64 bin = (when - m_start) / m_binSeconds;
    return bin < m_bins.size() ? int(bin) : -1;
}
