#include "journal/journalcelldelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QTextLayout>
#include <QToolTip>

namespace {

QColor mixed(const QColor& a, const QColor& b, qreal share)
{
    return QColor::fromRgbF(a.redF() * (1 - share) + b.redF() * share,
                            a.greenF() * (1 - share) + b.greenF() * share,
                            a.blueF() * (1 - share) + b.blueF() * share);
}

} // namespace

JournalCellDelegate::JournalCellDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

void JournalCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();

    if (m_typeColumn >= 0) {
        const QString type = index.sibling(index.row(), m_typeColumn).data().toString();
        const bool error = type == QLatin1String("E");
        if (error || type == QLatin1String("W")) {
            opt.backgroundBrush = error ? errorTint() : warningTint();
            // Selected rows keep the highlight, turned towards the tint so that
            // the highlighted text stays readable on it.
            const QColor highlight = opt.palette.color(QPalette::Highlight);
            opt.palette.setColor(
                QPalette::Highlight,
                mixed(highlight, error ? QColor(200, 30, 30) : QColor(190, 120, 0), 0.4));
        }
    }

    const int first =
        m_searchText.isEmpty() ? -1 : opt.text.indexOf(m_searchText, 0, Qt::CaseInsensitive);
    if (first < 0) {
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        return;
    }

    const auto* view = qobject_cast<const QAbstractItemView*>(widget);
    const bool current = view && view->currentIndex() == index;
    if (current) {
        opt.state &= ~QStyle::State_Selected;
        opt.backgroundBrush = currentMatchColor();
    }
    const QString text = opt.text;
    opt.text.clear();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    // The text as the style would place it, with every occurrence marked.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget)
                               .adjusted(margin, 0, -margin, 0);
    const QString shown = opt.fontMetrics.elidedText(text, opt.textElideMode, textRect.width());
    QVector<QTextLayout::FormatRange> marks;
    QTextCharFormat mark;
    mark.setBackground(matchColor());
    mark.setForeground(QColor(Qt::black));
    const int length = int(m_searchText.size());
    for (int at = int(shown.indexOf(m_searchText, 0, Qt::CaseInsensitive)); at >= 0;
         at = int(shown.indexOf(m_searchText, at + length, Qt::CaseInsensitive)))
        marks.append({at, length, mark});
    QTextLayout layout(shown, opt.font);
    layout.setFormats(marks);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(textRect.width());
    layout.endLayout();

    painter->save();
    const bool selected = opt.state.testFlag(QStyle::State_Selected);
    painter->setPen(current
                        ? QColor(Qt::black)
                        : opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    layout.draw(painter,
                QPointF(textRect.left(), textRect.top() + (textRect.height() - line.height()) / 2));
    if (current) {
        // A frame as well, for those who tell the colours apart badly.
        painter->setPen(QPen(QColor(160, 70, 0), 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(QRectF(opt.rect).adjusted(1, 1, -1, -1));
    }
    painter->restore();
}

bool JournalCellDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                    const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // The same room as paint() gives the text.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const int room =
        style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget).width() - 2 * margin;
    if (opt.fontMetrics.horizontalAdvance(opt.text) <= room) {
        QToolTip::hideText();
        return true;
    }
    // As rich text, so that a message of a few thousand characters wraps.
    QToolTip::showText(event->globalPos(),
                       QStringLiteral("<p>%1</p>").arg(opt.text.toHtmlEscaped()), view->viewport(),
                       view->visualRect(index));
    return true;
}
