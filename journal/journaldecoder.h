#pragma once

#include "core/binaryjournal.h"
#include "journal/journalrow.h"
#include "journal/messagetemplate.h"

#include <QByteArray>
#include <QDate>
#include <QMap>
#include <QString>
#include <QVector>

#include <array>
#include <functional>

// Turns binary journals (8-byte records) and text journals (NUL-terminated
// lines) into table rows, in the order the viewer adds them.
class JournalDecoder
{
public:
    JournalDecoder(const QMap<int, QString>& messages, const QMap<int, QString>& sources);

    // Told now and then how many bytes of how many are decoded; returning
    // false stops the decoding, which then returns no rows.
    using Progress = std::function<bool(int done, int total)>;

    // The most characters of message text one binary journal decodes to: room
    // for the viewer's 500,000 rows at 134 characters each (the longest
    // message of the shipped files has 105). Time stamps have a fixed width and
    // sources are names shared by their rows, so the messages are what a
    // definition file can make grow; with this bound a journal's texts take at
    // most 128 MiB, whatever its definitions, and a 32-bit host stays clear of
    // its 2 GiB.
    static constexpr qint64 MaxMessageText = 64 * 1024 * 1024;

    // Rows in the order they are to be added to the viewer's table (BinaryJournal's record
    // stream), with their order in time and their times (JournalTime::setBinaryTimes), the
    // years counted back from the day the journal was written (invalid: today). Messages of
    // more than MaxMessageText characters in all stop the decoding: no rows, and tooMuchText set
    // when given.
    QVector<JournalRow> decodeBinary(const QByteArray& data, const Progress& progress = Progress(),
                                     bool* tooMuchText = nullptr,
                                     const QDate& written = QDate()) const;
    // Text journal (zero-terminated lines); rows in file order, ordered by
    // the date and time they carry.
    static QVector<JournalRow> decodeText(const QByteArray& data,
                                          const Progress& progress = Progress());
    // What one text-journal line is: a row, a line skipped, or the end of the journal.
    enum class TextLine { Row, Skip, End };
    // Reads the line that runs from line up to lineEnd (where its NUL is). For a row, fills the
    // time, type and source; the message, when and order too when withMessage (the costly part,
    // not needed to place a line in time). The row means nothing for Skip and End.
    static TextLine readTextLine(const char* line, const char* lineEnd, JournalRow& row,
                                 bool withMessage);
    // The row of one record of len bytes (normally 8) at data: time text,
    // message and source.
    JournalRow row(const uchar* data, int len) const;

    static constexpr int RecordSize = BinaryJournal::RecordSize;

private:
    std::array<MessageTemplate, 256> m_templates;
    std::array<QString, 64> m_sources;
};
