#pragma once

#include <QColor>
#include <QStyledItemDelegate>

// Paints the journal table's cells: the quick search's text marked inside
// every cell holding it, the current match apart from the other (selected)
// matches, and, in text journals, rows of errors and warnings tinted.
class JournalCellDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit JournalCellDelegate(QObject* parent = nullptr);

    void setSearchText(const QString& text) { m_searchText = text; }
    // The column whose "E" or "W" tints its row; -1 for none.
    void setTypeColumn(int column) { m_typeColumn = column; }

    // Backgrounds of error and warning rows, of matched text and of the current match.
    static QColor errorTint() { return QColor(255, 214, 214); }
    static QColor warningTint() { return QColor(255, 240, 190); }
    static QColor matchColor() { return QColor(255, 230, 80); }
    static QColor currentMatchColor() { return QColor(255, 150, 50); }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // A cell too narrow for its text shows all of it as a tooltip.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    QString m_searchText;
    int m_typeColumn = -1;
};
