#pragma once

#include "core/downloadfile.h"
#include "queue/blockoutcome.h"
#include "queue/queueitem.h"

#include <QVariantList>

// However a controller sends its data (answers that never end, one huge
// answer), a download never grows past the ceiling: the item drops what it
// has and fails. take stores the answer; the field at payload is its data.
template <typename Take>
BlockOutcome takeWithinCeiling(QueueItem& item, const QVariantList& data, int payload, Take take)
{
    const bool huge =
        data.size() > payload && data.at(payload).toByteArray().size() > DownloadFile::maxSize;
    const BlockOutcome out = huge ? BlockOutcome() : take();
    if (huge || item.buffer.size() > DownloadFile::maxSize) {
        item.dropData();
        return BlockOutcome::failed(BlockOutcome::DataTooLarge);
    }
    return out;
}
