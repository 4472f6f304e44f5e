#include "queue/statustip.h"

#include <QDir>
#include <QFileInfo>

QString StatusTip::moment(const QDateTime& when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString StatusTip::advice(QueueItem::Failure kind, const QString& file)
{
    // The operator knows a journal by its file's name; the whole path is
    // on a line of its own.
    const QString name = QFileInfo(file).fileName();
    using Failure = QueueItem::Failure;
    switch (kind) {
    case Failure::None:
        break;
    case Failure::NoCommand:
        return tr("The command could not be passed to the controller. It is tried again by "
                  "itself; if it keeps failing, check the controller in the workstation.");
    case Failure::ResponseLost:
        return tr("The controller's answer was lost on the way. It is tried again by itself.");
    case Failure::ControllerError:
        return tr("The controller answered with an error. It is tried again by itself; if it "
                  "keeps failing, check the controller and its link.");
    case Failure::WrongAnswer:
        return tr("The controller's answer did not fit the request. Retry; if it fails again, "
                  "check the controller's software.");
    case Failure::WrongArea:
        return tr("The controller sent another part of its configuration than the one asked "
                  "for. Retry; if it fails again, check the controller's software.");
    case Failure::EmptyAnswer:
        return tr("The controller sent no configuration data. Check that it holds a "
                  "configuration, then Retry.");
    case Failure::InvalidConfigSize:
        return tr("The controller's configuration memory holds no valid configuration (erased "
                  "or damaged). Load a configuration into the controller, or take it from the "
                  "storage.");
    case Failure::TooLarge:
        return tr("The controller sent more than 16 MiB, more than any journal or configuration "
                  "holds: its data is damaged. Check the controller, then Retry.");
    case Failure::SavedTooLarge:
        return tr("The saved journal %1 is larger than 16 MiB and cannot be continued: move it "
                  "aside, then Retry.")
            .arg(name);
    case Failure::MergedTooLarge:
        return tr("The saved journal %1 with the new records would be larger than 16 MiB: move "
                  "it aside, then Retry.")
            .arg(name);
    case Failure::CannotRead:
        return tr("The saved journal %1 cannot be read (not a file, or no permission), and a "
                  "journal is never continued without it: make it readable or move it aside, "
                  "then Retry.")
            .arg(name);
    case Failure::CannotWrite:
        return tr("The file %1 cannot be written (no permission, a full disk or a missing "
                  "folder). What was downloaded is kept: fix the folder, then Retry.")
            .arg(name);
    case Failure::Storage:
        return tr("The configuration storage did not give this configuration. Check the "
                  "storage, or download the configuration from the controller.");
    }
    return QString();
}

QStringList StatusTip::doubts(const QueueItem& item)
{
    QStringList lines;
    const QueueItem::Repeats repeats = item.repeats();
    if (repeats.dropped > 0)
        lines << tr("The controller wrote new records while it was read: %n record(s) it had "
                    "moved on were saved once.",
                    nullptr, repeats.dropped);
    if (repeats.kept > 0)
        lines << tr("%n record(s) at block boundaries repeat the records before them and were "
                    "kept: the controller may have written them twice, or moved them while it "
                    "was read.",
                    nullptr, repeats.kept);
    if (item.shown.markerMissed)
        lines << tr("The controller no longer held the saved journal's newest record: the new "
                    "records were put in front of the saved journal, and records between them "
                    "may be missing.");
    return lines;
}

QString StatusTip::text(const QueueItem& item)
{
    const QueueItem::Shown& shown = item.shown;
    QStringList lines;
    if (item.hasFailed()) {
        lines << shown.message;
        const QString sentence = advice(shown.failure, shown.failurePath);
        if (!sentence.isEmpty())
            lines << sentence;
        if (!shown.failurePath.isEmpty())
            lines << tr("File: %1").arg(QDir::toNativeSeparators(shown.failurePath));
        lines << tr("Failed %1").arg(moment(shown.ended));
        if (shown.status == QueueItem::Status::Disconnected)
            lines << tr("Link lost %1").arg(moment(shown.waitingSince));
    } else if (shown.status == QueueItem::Status::Completed) {
        lines << tr("Saved to %1").arg(QDir::toNativeSeparators(shown.savedPath))
              << tr("Completed %1").arg(moment(shown.ended));
        lines << doubts(item);
    } else if (shown.status == QueueItem::Status::WaitingForConnection) {
        lines << tr("Waiting for the controller's link since %1").arg(moment(shown.waitingSince));
    } else if (shown.status == QueueItem::Status::Disconnected) {
        lines << tr("Link lost %1").arg(moment(shown.waitingSince));
    }
    // The operator's own attempts: the first, and one for each Retry.
    if (!lines.isEmpty() && shown.retries > 0)
        lines << tr("Attempt %1, the last Retry %2")
                     .arg(shown.retries + 1)
                     .arg(moment(shown.retried));
    return lines.join(QLatin1Char('\n'));
}
