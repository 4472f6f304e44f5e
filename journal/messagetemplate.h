#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// A message text split once into literal runs and $-conversions, so that a
// journal's records are expanded without re-reading the text. Where each
// conversion reads in the record depends on the text alone, so it is fixed here.
class MessageTemplate
{
public:
    MessageTemplate() = default;
    explicit MessageTemplate(const QString& text);

    // The most characters one record's message expands to. A definition file
    // may hold a text of megabytes, and every record would repeat it; no
    // shipped text comes near this. A longer expansion is cut to end in "…".
    static constexpr int MaxExpandedLength = 4096;

    bool isEmpty() const { return m_pieces.isEmpty(); }
    // Appends the expansion for a record of len bytes (parameters from byte 5
    // on), at most MaxExpandedLength characters of it.
    void expand(const uchar* record, int len, QString& out) const;
    // The highest record byte a conversion reads, or -1 when none reads any.
    int lastByteRead() const { return m_lastByte; }
    // How many values (0 up) the record's byte at index may take for the text
    // to expand without an error text: the shortest table or variant list
    // read from it, 256 when none is; 0 when the text holds a conversion that
    // never expands (an unknown one, a list that is none).
    int valuesAllowed(int index) const;

    // Appends bytes 4..7 of the record as "%02xh %02xh %02xh %02xh" (missing bytes as 0).
    static void appendHexFallback(const uchar* record, int len, QString& out);

private:
    // Piece kinds besides the conversion characters themselves.
    enum : ushort { Literal = 0, Unknown = 0xFFFF };
    struct Piece
    {
        ushort conv = Literal; // or the conversion character, or Unknown
        int offset = 0;        // record byte the conversion reads
        QString text;          // literal, or the overflow text of conversions 1..7
        QStringList variants;
    };
    QVector<Piece> m_pieces;
    int m_lastByte = -1;
    bool m_expandable = true; // no conversion that always gives an error text
};
