#pragma once

#include <QDateTime>
#include <QString>
#include <QVector>

// A journal record's time stamp as its fields, with or without a year: binary
// records carry none, text journals write one. Ordered by key() once the year
// is known; a time whose fields are out of range is invalid and has no key.
class RecordTime
{
public:
    RecordTime() = default;
    RecordTime(int year, int month, int day, int hour, int minute, int second);

    // From a binary record's packed word (day, month and time; no year).
    static RecordTime fromTimeWord(quint32 word);
    // From a text journal's "d.M.yy h:mm[:ss]" (the year in two digits, of the
    // 2000s, or in four; spaces around): invalid when the text is no such time.
    static RecordTime fromText(const QString& dateAndTime);
    static RecordTime fromDateTime(const QDateTime& moment);

    int year() const { return m_year; }
    int month() const { return m_month; }
    int day() const { return m_day; }
    int hour() const { return m_hour; }
    int minute() const { return m_minute; }
    int second() const { return m_second; }
    bool hasYear() const { return m_year > 0; }
    // Fields in range: of the given year when there is one, else of some year
    // (29 February included).
    bool isValid() const;
    RecordTime withYear(int year) const;

    // When it was written, as the viewer counts it (JournalTime's seconds; a
    // 29 February of a common year counts as 1 March); meaningful for valid
    // times with a year.
    qint64 key() const;
    // The year a key() was made with.
    static int yearOfKey(qint64 key);
    // "2026-11-14T17:30:05"; empty without a year or when invalid.
    QString toIso() const;

    // When it was written (JournalTime's seconds), or JournalTime::Unknown
    // when it is invalid or has no year.
    qint64 when() const;

    // Gives yearless times, newest first as a journal stores them, their
    // years by a JournalTime::YearWalk. Invalid times and times with a year are left as
    // they are.
    static void inferYears(QVector<RecordTime>& newestFirst, const QDate& written);

private:
    qint16 m_year = 0;
    qint8 m_month = 0;
    qint8 m_day = 0;
    qint8 m_hour = 0;
    qint8 m_minute = 0;
    qint8 m_second = 0;
};
