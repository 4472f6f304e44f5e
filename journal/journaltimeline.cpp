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

QVector<bool> JournalTimeline::binsHolding(const QVector<int>& records,
                                           const QVector<qint64>& when) const
{
    QVector<bool> held(m_bins.size(), false);
    for (const int record : records) {
        const int bin = binOf(when.at(record));
        if (bin >= 0)
            held[bin] = true;
    }
    return held;
}

QVector<qint64> JournalTimeline::labelTimes(int width, int labelWidth) const
{
    QVector<qint64> times;
    if (m_bins.isEmpty() || width <= 0)
        return times;
    const qint64 span = m_bins.size() * m_binSeconds;
    static constexpr qint64 Steps[] = {Hour,     2 * Hour,  3 * Hour, 6 * Hour, 12 * Hour,
                                       Day,      2 * Day,   7 * Day,  14 * Day, 28 * Day,
                                       91 * Day, 182 * Day, 364 * Day};
    qint64 step = 0;
    for (const qint64 s : Steps) {
        // Never finer than a bar: a label names where a bar begins.
        if (s >= m_binSeconds && s * width >= span * labelWidth * 3 / 2) {
            step = s;
            break;
        }
    }
    if (step == 0)
        return times;
    // Times count from a midnight, so multiples of a step fall on whole hours
    // and days.
    for (qint64 t = (m_start + step - 1) / step * step; t < m_start + span; t += step)
        times.append(t);
    return times;
}
