#pragma once

// Journals and definition files made up for the viewer's tests.

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTextCodec>
#include <QVector>

#include <algorithm>

namespace ViewerFixtures {

// What the viewer keeps (size, widths, font, save filter) goes to dir, so that
// neither earlier runs nor the user's own settings reach a test. Before any
// dialog is made.
inline void keepSettingsIn(const QString& dir)
{
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir);
}

inline QByteArray record(int month, int day, int hour, int minute, int second, int source, int code,
                         uchar p1 = 0, uchar p2 = 0, uchar p3 = 0)
{
    const quint32 word = quint32(second) | quint32(minute) << 6 | quint32(hour) << 12 |
                         quint32(day) << 17 | quint32(month) << 22 | quint32(source) << 26;
    QByteArray r;
    for (int i = 0; i < 4; ++i)
        r.append(char(word >> (8 * i) & 0xFF));
    r.append(char(code));
    r.append(char(p1));
    r.append(char(p2));
    r.append(char(p3));
    return r;
}

// A binary journal of whole blocks with random codes and sources (some of
// them the debug source and unnamed ones) and many repeated time stamps.
// Blocks are stored oldest first when oldestFirst is set.
inline QByteArray binaryJournal(int blocks, bool oldestFirst, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray data;
    int minute = 0;
    for (int b = 0; b < blocks; ++b) {
        QVector<QByteArray> block;
        for (int k = 0; k < 12; ++k) {
            // Two records in three share their time stamp with the previous one.
            if (rng.bounded(3) == 0)
                ++minute;
            const int source = int(rng.bounded(33));
            const int code = int(rng.bounded(256));
            block.append(record(1 + (minute / 1440) % 12, 1 + (minute / 60) % 28,
                                (minute / 60) % 24, minute % 60, 7, source, code,
                                uchar(rng.bounded(256)), uchar(rng.bounded(256)),
                                uchar(rng.bounded(256))));
        }
        if (!oldestFirst)
            std::reverse(block.begin(), block.end());
        for (const QByteArray& r : block)
            data += r;
    }
    return data;
}

// A text journal line as the TM_HELIX and vegal controllers send them.
inline QByteArray textLine(const QString& date, const QString& time, const QString& type,
                           const QString& source, const QString& message)
{
    QByteArray line = (date + QLatin1Char(' ') + time + QLatin1Char(' ') + type + QLatin1Char(' ') +
                       source + QLatin1Char(' '))
                          .toUtf8();
    QTextCodec* cp1251 = QTextCodec::codecForName("Windows-1251");
    line += cp1251 ? cp1251->fromUnicode(message) : message.toLatin1();
    line.append('\0');
    return line;
}

// A definition file naming sources 1 and 2 and giving message codes their texts.
inline QByteArray definitionFile(const QMap<int, QString>& messages)
{
    QTextCodec* cp1251 = QTextCodec::codecForName("Windows-1251");
    QByteArray out = "/* header */\r\n#define  clnd_req  1  /*\"";
    out += cp1251->fromUnicode(QStringLiteral("Календарная автоматика"));
    out += "\"*/\r\n#define  lev2_req  2  /*\"";
    out += cp1251->fromUnicode(QStringLiteral("Контролер верхнего уровня"));
    out += "\"*/\r\n/*  @  ***** DISASTERS *****  */\r\n";
    for (auto it = messages.cbegin(); it != messages.cend(); ++it) {
        out += "#define  m" + QByteArray::number(it.key()) + "  " + QByteArray::number(it.key()) +
               "  /*\"" + cp1251->fromUnicode(it.value()) + "\"*/\r\n";
    }
    return out;
}

inline bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace ViewerFixtures
