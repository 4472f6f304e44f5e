#include "journal/journaltimelineview.h"

#include "journal/journaltime.h"
#include "journal/journaltimeline.h"

#include <QDateTime>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

JournalTimelineView::JournalTimelineView(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void JournalTimelineView::setMarkedBins(const QVector<bool>& marked)
{
    if (marked == m_marked)
        return;
    m_marked = marked;
    update();
}

void JournalTimelineView::setNewestLeft(bool newestLeft)
{
    if (newestLeft == m_newestLeft)
        return;
    m_newestLeft = newestLeft;
    update();
}

int JournalTimelineView::slotOf(int bin) const
{
    return m_newestLeft ? m_timeline->bins().size() - 1 - bin : bin;
}

void JournalTimelineView::setTimeline(const JournalTimeline* timeline, const QString& timeFormat)
{
    m_timeline = timeline;
    m_timeFormat = timeFormat;
    m_current = -1;
    m_marked.clear();
    update();
}

void JournalTimelineView::setCurrentBin(int bin)
{
    if (bin == m_current)
        return;
    m_current = bin;
    update();
}

QSize JournalTimelineView::sizeHint() const
{
    return QSize(200, 48 + fontMetrics().height());
}

QRect JournalTimelineView::barArea() const
{
    // The labels go below the bars.
    return rect().adjusted(1, 4, -1, -1 - fontMetrics().height());
}

int JournalTimelineView::binAt(int x) const
{
    const QRect area = barArea();
    if (!m_timeline || m_timeline->bins().isEmpty() || x < area.left() || x > area.right())
        return -1;
    const int count = m_timeline->bins().size();
    return slotOf(qMin(count - 1, int(qint64(x - area.left()) * count / area.width())));
}

void JournalTimelineView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (!m_timeline || m_timeline->bins().isEmpty() || m_timeline->maxRecords() == 0)
        return;
    const QVector<JournalTimeline::Bin>& bins = m_timeline->bins();
    const QRect area = barArea();
    const int count = bins.size();
    const double height = area.height();
    const double max = m_timeline->maxRecords();
    const auto left = [&](int slot) { return area.left() + qint64(slot) * area.width() / count; };
    for (int i = 0; i < count; ++i) {
        const JournalTimeline::Bin& bin = bins.at(i);
        const bool marked = i < m_marked.size() && m_marked.at(i);
        if (bin.records == 0 && i != m_current)
            continue;
        const int slot = slotOf(i);
        const int x = int(left(slot));
        // A gap between bars while they are wide enough to show one.
        const int width = qMax(1, int(left(slot + 1)) - x - (area.width() / count > 3 ? 1 : 0));
        // Even a single record shows as a pixel.
        const int barHeight = bin.records ? qMax(1, int(bin.records / max * height + 0.5)) : 0;
        const int errorHeight = bin.errors ? qMax(1, int(bin.errors / max * height + 0.5)) : 0;
        if (i == m_current)
            painter.fillRect(x, area.top() - 3, width, area.height() + 3,
                             palette().color(QPalette::Highlight).lighter(170));
        painter.fillRect(x, area.bottom() + 1 - barHeight, width, barHeight - errorHeight,
                         recordColor());
        painter.fillRect(x, area.bottom() + 1 - errorHeight, width, errorHeight, errorColor());
        if (i == m_current) {
            painter.fillRect(x, area.top() - 3, width, 3, palette().color(QPalette::Highlight));
        } else if (marked) {
            // A match mark above the bar, at least three pixels wide to be seen.
            const int markWidth = qMax(3, width);
            painter.fillRect(x + width / 2 - markWidth / 2, area.top() - 3, markWidth, 4,
                             matchColor());
        }
    }
    // Hours ("14:00") and, at midnight, dates ("14.11") under the bars, as
    // many as fit apart.
    const QFontMetrics metrics = fontMetrics();
    const int labelWidth = metrics.horizontalAdvance(QStringLiteral("00.00")) + 4;
    const qint64 span = qint64(count) * m_timeline->binSeconds();
    painter.setPen(palette().color(QPalette::WindowText));
    for (const qint64 t : m_timeline->labelTimes(area.width(), labelWidth)) {
        const qint64 offset = (t - m_timeline->start()) * area.width() / span;
        const int x = int(m_newestLeft ? area.right() + 1 - offset : area.left() + offset);
        const QDateTime time = JournalTime::toDateTime(t);
        const QString text = t % JournalTimeline::Day == 0 ? time.toString(QStringLiteral("dd.MM"))
                                                           : time.toString(QStringLiteral("HH:mm"));
        painter.drawLine(x, area.bottom() + 1, x, area.bottom() + 3);
        const int textX = qBound(0, x - labelWidth / 2, width() - labelWidth);
        painter.drawText(QRect(textX, area.bottom() + 2, labelWidth, metrics.height()),
                         Qt::AlignCenter, text);
    }
}

void JournalTimelineView::mousePressEvent(QMouseEvent* event)
{
    const int bin = binAt(event->pos().x());
    if (event->button() == Qt::LeftButton && bin >= 0 && m_timeline->bins().at(bin).records > 0)
        emit binClicked(bin);
    QWidget::mousePressEvent(event);
}

bool JournalTimelineView::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const int bin = binAt(help->pos().x());
        if (bin < 0) {
            QToolTip::hideText();
            return true;
        }
        const JournalTimeline::Bin& b = m_timeline->bins().at(bin);
        const qint64 start = m_timeline->start() + bin * m_timeline->binSeconds();
        const QDateTime time = JournalTime::toDateTime(start);
        QString text = tr("%1: %n record(s)", nullptr, b.records).arg(time.toString(m_timeFormat));
        if (b.errors)
            text += tr(", %n error(s)", nullptr, b.errors);
        QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}
