#pragma once

#include <QWidget>

class JournalTimeline;

// A strip of bars, one per bin of a JournalTimeline, as high as its records
// (errors in their own colour at the foot); the bin of the current record is
// marked, and a click on a bar asks for its first record.
class JournalTimelineView : public QWidget
{
    Q_OBJECT

public:
    explicit JournalTimelineView(QWidget* parent = nullptr);

    // The timeline stays the caller's and must outlive this view's use of it;
    // timeFormat shows a bin's start in its tooltip.
    void setTimeline(const JournalTimeline* timeline, const QString& timeFormat);
    void setCurrentBin(int bin);
    int currentBin() const { return m_current; }
    // The bin drawn at x; -1 when none.
    int binAt(int x) const;

    QSize sizeHint() const override;

    static QColor recordColor();
    static QColor errorColor();

signals:
    void binClicked(int bin);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    QRect barArea() const;

    const JournalTimeline* m_timeline = nullptr;
    QString m_timeFormat;
    int m_current = -1;
};
