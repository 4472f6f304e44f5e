#pragma once

#include "queue/queueitem.h"

#include <QCoreApplication>
#include <QString>

// What hovering an item's Status cell tells, as plain text and without any
// widget: a failure's whole message with one plain sentence of what happened
// and what the operator can do, the file it concerns, when it came and the
// Retries asked for; where and when a download was saved; since when an item
// waits for its link. The cell's own text stays the status as it is.
class StatusTip
{
    Q_DECLARE_TR_FUNCTIONS(StatusTip)

public:
    // Empty when the status has nothing to add.
    static QString text(const QueueItem& item);
    // One sentence for the kind of failure; file: the file it concerns.
    static QString advice(QueueItem::Failure kind, const QString& file);
    // What a saved journal may repeat or lack, as the controller sent it.
    static QStringList doubts(const QueueItem& item);
    // How the tip writes a moment.
    static QString moment(const QDateTime& when);
};
