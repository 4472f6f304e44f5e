#pragma once

#include <QWidget>

class JournalTimeline;

// A strip of bars, one per bin of a JournalTimeline, as high as its records
// (errors in their own colour at the foot), over an axis labelled with hours
// and dates; the bin of the current record and the bins holding search
// matches are marked, and a click on a bar asks for its first record.
class JournalTimelineView : public QWidget
{
    Q_OBJECT

public:
    explicit JournalTimelineView(QWidget* parent = nullptr);

    // The timeline stays the caller's and must outlive this view's use of it;
    // timeFormat shows a bin's start in its tooltip.
    void setTimeline(const JournalTimeline* timeline, const QString& timeFormat);
    void setCurrentBin(int bin);
    // Per bin, whether it holds a match; empty for none.
    void setMarkedBins(const QVector<bool>& marked);
    // Whether the newest bin is drawn at the left (else the oldest is).
    void setNewestLeft(bool newestLeft);
    int currentBin() const { return m_current; }
    // The bin drawn at x; -1 when none.
    int binAt(int x) const;

    QSize sizeHint() const override;

    static QColor recordColor() { return QColor(70, 130, 180); }
    static QColor errorColor() { return QColor(210, 40, 40); }
    static QColor matchColor() { return QColor(240, 140, 0); }

signals:
    void binClicked(int bin);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    QRect barArea() const;
    int slotOf(int bin) const;

    const JournalTimeline* m_timeline = nullptr;
    QString m_timeFormat;
    int m_current = -1;
    QVector<bool> m_marked;
    bool m_newestLeft = false;
};
