#pragma once

#include "journal/journaltime.h"

#include <QVector>

// The records of a journal counted per hour (per day, or several, for
// journals that span weeks), without widgets: what the viewer's timeline
// draws. Built once per open.
class JournalTimeline
{
public:
    struct Bin
    {
        int records = 0;
        int errors = 0;
        int first = -1; // the bin's first record in time order
    };

    static constexpr qint64 Hour = 3600;
    static constexpr qint64 Day = JournalTime::DaySeconds;
    // Journals spanning up to this many days get a bar per hour.
    static constexpr int HourlyDays = 14;
    // More bars than this would be narrower than a pixel: days are merged.
    static constexpr int MaxBins = 1000;

    // oldestFirst: the records (indices into when) in time order; when: per
    // record, its JournalTime (records without one are left out); errors: per
    // record whether it is an error, or empty.
    void build(const QVector<int>& oldestFirst, const QVector<qint64>& when,
               const QVector<bool>& errors);

    const QVector<Bin>& bins() const { return m_bins; }
    // The time the first bin begins at, and the time each one spans.
    qint64 start() const { return m_start; }
    qint64 binSeconds() const { return m_binSeconds; }
    int maxRecords() const { return m_maxRecords; }
    // The bin a time falls in; -1 when outside them all or unknown.
    int binOf(qint64 when) const;
    // Per bin, whether it holds one of records (indices into when).
    QVector<bool> binsHolding(const QVector<int>& records, const QVector<qint64>& when) const;
    // The times the axis is labelled at, drawn over width pixels with labels
    // labelWidth pixels wide: whole hours or days, at the smallest of a few
    // steps (an hour to a year) that keeps labels apart by half their width.
    QVector<qint64> labelTimes(int width, int labelWidth) const;

private:
    QVector<Bin> m_bins;
    qint64 m_start = 0;
    qint64 m_binSeconds = Hour;
    int m_maxRecords = 0;
};
