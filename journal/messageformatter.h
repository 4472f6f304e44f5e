#pragma once

#include <QByteArray>
#include <QString>

// Expands a message template from the record's parameter bytes (from byte 5 on).
// An empty expansion becomes the record's bytes 4..7 in hexadecimal.
QString formatMessage(const QString& text, const QByteArray& record);
