#pragma once

#include <QByteArray>
#include <QString>

struct JournalRow;

// The lines of many journals' records: the viewer's aligned text or CSV with
// the controller id as the first column, or JSON Lines (one object a record,
// UTF-8, whatever the texts hold) for log collectors.
class FleetWriter
{
public:
    enum class Format { Text, Csv, JsonLines };

    // textLayout: the text-journal columns (with "Type"), else the binary ones.
    FleetWriter(Format format, bool textLayout);

    struct Record
    {
        int controllerId = 0;
        QString controllerType; // empty when not known
        const JournalRow* row = nullptr;
        QString isoTime; // empty when the year is not known
        QString file;
    };

    // Header and dash lines, each ending in LF; nothing for JSON Lines.
    QByteArray header() const;
    QByteArray line(const Record& record) const;

    // Matches per controller instead of the records.
    QByteArray countHeader() const;
    QByteArray countLine(int controllerId, const QString& controllerType, qint64 count) const;
    // The line after the counts: all the matches together.
    QByteArray countTotal(qint64 total) const;

private:
    Format m_format;
    bool m_textLayout;
};
