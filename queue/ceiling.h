#pragma once

#include "core/downloadfile.h"
#include "queue/answeroutcome.h"
#include "queue/queueitem.h"

#include <QVariantList>

// However a controller sends its data (answers that never end, one huge
// answer), a download never grows past the ceiling: the item drops what it
// has and fails. take stores the answer; the field at payload is its data.
template <typename Take>
AnswerOutcome takeWithinCeiling(QueueItem& item, const QVariantList& data, int payload, Take take)
{
    const bool huge =
        data.size() > payload && data.at(payload).toByteArray().size() > DownloadFile::maxSize;
    const AnswerOutcome out = huge ? AnswerOutcome() : take();
    if (huge || item.buffer.size() > DownloadFile::maxSize) {
        item.dropData();
        return AnswerOutcome::failed(AnswerOutcome::DataTooLarge);
    }
    return out;
}
