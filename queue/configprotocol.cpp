#include "queue/configprotocol.h"

#include "queue/answerfield.h"
#include "queue/ceiling.h"

namespace {

// The value of a header field: from behind its key to the next space or the end.
QByteArray fieldValue(const QByteArray& piece, const char* key, bool* found)
{
    const QByteArray k(key);
    const int at = piece.indexOf(k);
    *found = at >= 0;
    if (at < 0)
        return QByteArray();
    const int begin = at + k.size();
    const int space = piece.indexOf(' ', begin);
    return piece.mid(begin, space < 0 ? -1 : space - begin);
}

quint16 wordAt(const QByteArray& piece, int index)
{
    const auto* p = reinterpret_cast<const uchar*>(piece.constData()) + 2 * index;
    return quint16(p[0] | (p[1] << 8));
}

} // namespace

ConfigProtocol::JsonHeader ConfigProtocol::parseJsonHeader(const QByteArray& piece)
{
    JsonHeader header;
    bool found = false;
    // Not a number (or absent): 0, as toInt() gives.
    header.length = fieldValue(piece, "len=", &found).toInt();
    header.hasLength = found;
    const QByteArray type = fieldValue(piece, "type=", &found);
    header.type = found ? QString::fromUtf8(type) : QStringLiteral("TM_HELIX3");
    return header;
}

int ConfigProtocol::imageSize(const QByteArray& piece)
{
    if (piece.size() < 2)
        return 2; // no whole word: nothing to examine
    // A table shorter than its own first word, or an image that would end
    // inside its table (a blank memory of zeros), is no configuration.
    const int tableBytes = wordAt(piece, 0);
    if (tableBytes < 2)
        return -1;
    const int lastWord = piece.size() / 2 - 1;
    const int last = qMin(tableBytes / 2 - 1, lastWord);
    for (int e = last; e >= 0; --e) {
        const quint16 entry = wordAt(piece, e);
        if (entry != 0xFFFF)
            return entry < tableBytes ? -1 : entry + 2;
    }
    return -1;
}

AnswerOutcome ConfigProtocol::handlePiece(QueueItem& item, const QVariantList& data)
{
    return takeWithinCeiling(item, data, 2, [&] { return takePiece(item, data); });
}

AnswerOutcome ConfigProtocol::takePiece(QueueItem& item, const QVariantList& data)
{
    if (data.size() < 3)
        return AnswerOutcome::failed(AnswerOutcome::WrongAnswer);
    if (data.at(0).toLongLong() != item.area)
        return AnswerOutcome::failed(AnswerOutcome::WrongArea);

    AnswerOutcome out;
    qint64 offset = 0;
    QByteArray piece;
    if (!AnswerField::position(data.at(1), &offset) || !AnswerField::bytes(data.at(2), &piece))
        return AnswerOutcome::failed(AnswerOutcome::WrongAnswer);
    // Stored where it claims to belong, it would leave a gap: ask again.
    if (offset > item.loaded) {
        out.failRetryable();
        return out;
    }
    // A piece that arrives again replaces what was stored from its offset on.
    // Offsets count the controller's bytes, the header piece included, which
    // the buffer does not hold: map them past it. The header itself again
    // adds nothing.
    const int before = item.loaded;
    const qint64 headerBytes = item.loaded - item.buffer.size();
    if (item.loaded > 0 && offset < headerBytes) {
        if (item.stalls(false))
            out.failRetryable();
        return out;
    }
    const bool resent = item.loaded > 0 && offset < item.loaded;
    if (resent)
        item.buffer.truncate(int(offset - headerBytes));

    const bool first = item.loaded == 0;
    if (first) {
        if (piece.isEmpty())
            return AnswerOutcome::failed(AnswerOutcome::EmptyAnswer);
        if (!takeForm(item, piece, out))
            return AnswerOutcome::failed(AnswerOutcome::InvalidConfigSize);
    }
    // A text or JSON configuration's first piece is its header, not data.
    if (!first || !(item.textConfig || item.isMarked())) {
        item.buffer.append(piece);
        if (!first && bodyEnds(item, out))
            return out;
    }
    // After a piece came again, go on right behind it rather than skip ahead.
    item.loaded = resent ? int(offset) + piece.size() : item.loaded + piece.size();
    out.loadedText = AnswerOutcome::Bytes;
    out.loadedValue = item.loaded;
    if (item.stalls(item.loaded > before))
        out.failRetryable();
    return out;
}

bool ConfigProtocol::takeForm(QueueItem& item, QByteArray& piece, AnswerOutcome& out)
{
    if (piece.startsWith("#TxtCfg")) {
        item.textConfig = true;
        out.typeText = AnswerOutcome::Adapter;
        return true;
    }
    if (piece.startsWith("#jcfg")) {
        const JsonHeader h = parseJsonHeader(piece);
        if (h.hasLength) {
            item.expected = h.length;
            out.barMaximum = h.length;
            out.barValue = piece.size();
        }
        out.typeText = AnswerOutcome::HeaderType;
        out.headerType = h.type;
        const int brace = piece.indexOf('{');
        if (brace > 0)
            piece.remove(0, brace);
        if (h.type.toLower() == QLatin1String("vegal2"))
            item.isVegal = true;
        else
            item.isTmHelix = true;
        return true;
    }
    const int size = imageSize(piece);
    if (size < 0)
        return false;
    item.expected = size;
    out.barMaximum = size;
    out.barValue = piece.size();
    return true;
}

bool ConfigProtocol::bodyEnds(QueueItem& item, AnswerOutcome& out)
{
    if (item.textConfig) {
        const int end = item.buffer.indexOf("END.", 1);
        if (end <= 0)
            return false;
        item.buffer.truncate(end + 4);
        out.action = AnswerOutcome::Complete;
        return true;
    }
    if (item.isMarked()) {
        const int zero = item.buffer.indexOf('\0');
        if (zero >= 0) {
            item.buffer.truncate(zero);
            out.action = AnswerOutcome::Complete;
            return true;
        }
    }
    if (item.expected > 0 && item.buffer.size() >= item.expected) {
        item.buffer.truncate(item.expected);
        out.loadedText = AnswerOutcome::Bytes;
        out.loadedValue = item.expected;
        out.action = AnswerOutcome::Complete;
        return true;
    }
    out.barValue = item.buffer.size();
    return false;
}
