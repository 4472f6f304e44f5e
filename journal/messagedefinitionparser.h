#pragma once

#include <QMap>
#include <QString>

class QIODevice;
class QTextCodec;

// Reader of the message-definition files: C-header-like text in Windows-1251
// that names the message sources and the texts of the message codes.
namespace MessageDefinitionParser {

// The largest definition file that is read: the real ones are some 15 KiB.
constexpr int maxFileSize = 4 * 1024 * 1024;

// The codec for definition files and text-journal messages: "Windows-1251", or the locale's codec.
QTextCodec* journalCodec();

// Reads a message-definition file from an open device (raw bytes) into the two maps.
// Definitions before the line holding "DISASTERS" are sources, after it messages;
// the first definition of a message code wins.
void parse(QIODevice& device, QMap<int, QString>& sources, QMap<int, QString>& messages);

} // namespace MessageDefinitionParser
