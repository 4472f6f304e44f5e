#pragma once

#include "queue/answeroutcome.h"
#include "queue/queueitem.h"

#include <QVariantList>

// The "GET_CONFIG" piece protocol: assembles one area's configuration and
// recognises its form (text, JSON with a header, binary image) and its end.
class ConfigProtocol
{
public:
    struct JsonHeader
    {
        bool hasLength = false;
        int length = 0; // "len=", 0 when not a number
        QString type;   // "type=", "TM_HELIX3" when absent
    };

    static AnswerOutcome handlePiece(QueueItem& item, const QVariantList& data);

    static JsonHeader parseJsonHeader(const QByteArray& piece);

    // The image size its offset table gives (last used entry + 2). Only
    // entries inside the piece are examined. Returns -1 when every examined
    // entry is unused, when word 0 is below 2, or when the entry found lies
    // inside the table itself.
    static int imageSize(const QByteArray& piece);

private:
    static AnswerOutcome takePiece(QueueItem& item, const QVariantList& data);
    // The first piece tells the form: a text or JSON header (which may set
    // the size and the family's mark) or a binary image's offset table; false
    // when the table gives no usable size. A JSON header is cut to its "{".
    static bool takeForm(QueueItem& item, QByteArray& piece, AnswerOutcome& out);
    // Whether the data stored so far ends the configuration by its form's rule.
    static bool bodyEnds(QueueItem& item, AnswerOutcome& out);
};
