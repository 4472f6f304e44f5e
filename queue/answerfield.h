#pragma once

#include <QByteArray>

class QVariant;

// Reading the fields of a controller's answer without trusting their types:
// a field of the wrong kind is a wrong answer, not a value made up for it.
namespace AnswerField {

// A block number or byte offset: a whole number (0, 1, 2, ...), given as an
// integer, an integral floating-point value or a decimal text.
bool position(const QVariant& field, qint64* value);

// A block or piece: bytes, or text (taken as UTF-8).
bool bytes(const QVariant& field, QByteArray* value);

} // namespace AnswerField
