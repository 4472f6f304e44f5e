#include "workstation/operatorlog.h"

#include "core/journalversion.h"

QString OperatorLog::blocksText(int blocks)
{
    if (blocks == -1)
        return tr("whole journal");
    if (blocks == -3)
        return tr("only new");
    return blocks == 1 ? tr("newest block") : tr("newest %1 blocks").arg(blocks);
}

QString OperatorLog::formatText(int version)
{
    switch (version) {
    case JournalVersion::TextJournalTmHelix:
        return tr("text journal (TM_HELIX)");
    case JournalVersion::TextJournalVegal:
        return tr("text journal (vegal)");
    case JournalVersion::TextJournalOther:
        return tr("text journal");
    default:
        break;
    }
    if (JournalVersion::isBinary(version))
        return tr("binary journal %1.%2").arg(version / 100).arg(version % 100);
    return tr("unknown journal format");
}

QString OperatorLog::downloads(Kind kind, int count)
{
    if (kind == Kind::Journal)
        return count == 1 ? tr("1 journal download") : tr("%1 journal downloads").arg(count);
    return count == 1 ? tr("1 configuration download")
                      : tr("%1 configuration downloads").arg(count);
}

QString OperatorLog::summary(const Batch& batch) const
{
    const int done = batch.count - batch.failed - batch.waiting.size();
    QString line = tr("%1 (%2) ended: %3 completed")
                       .arg(downloads(batch.kind, batch.count), batch.how)
                       .arg(done);
    if (batch.failed > 0)
        line += tr(", %1 failed").arg(batch.failed);
    if (!batch.waiting.isEmpty())
        line += tr(", %1 queued again").arg(batch.waiting.size());
    return line;
}

QStringList OperatorLog::requested(Kind kind, const QList<int>& ids, const QString& how)
{
    QStringList lines;
    const QSet<int> queued(ids.cbegin(), ids.cend());
    // A controller queued again ends in the new batch, not in an earlier one.
    for (int i = 0; i < m_batches.size();) {
        Batch& batch = m_batches[i];
        if (batch.kind != kind || !batch.waiting.intersects(queued)) {
            ++i;
            continue;
        }
        const QSet<int> before = batch.waiting;
        batch.waiting -= queued;
        if (!batch.waiting.isEmpty()) {
            ++i;
            continue;
        }
        batch.waiting = before & queued;
        lines << summary(batch);
        m_batches.removeAt(i);
    }
    lines << tr("Queued %1 (%2)").arg(downloads(kind, ids.size()), how);
    Batch batch;
    batch.kind = kind;
    batch.how = how;
    batch.count = ids.size();
    batch.waiting = queued;
    m_batches << batch;
    return lines;
}

QStringList OperatorLog::ended(Kind kind, int id, bool ok, const QString& detail)
{
    QStringList lines;
    const QString what = kind == Kind::Journal ? tr("journal") : tr("configuration");
    if (!ok)
        lines << tr("Controller %1: %2 download failed: %3").arg(id).arg(what, detail);
    else if (m_verbose)
        lines << (detail.isEmpty() ? tr("Controller %1: %2 downloaded").arg(id).arg(what)
                                   : tr("Controller %1: %2 saved to %3").arg(id).arg(what, detail));
    for (int i = 0; i < m_batches.size(); ++i) {
        Batch& batch = m_batches[i];
        if (batch.kind != kind || !batch.waiting.remove(id))
            continue;
        batch.failed += ok ? 0 : 1;
        if (batch.waiting.isEmpty()) {
            lines << summary(batch);
            m_batches.removeAt(i);
        }
        break;
    }
    return lines;
}
