#pragma once

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

// The workstation's command line: its options, and their values checked
// before anything starts, so that a mistyped value ends the program with a
// message instead of running with something else. No widgets.
class WorkstationOptions
{
    Q_DECLARE_TR_FUNCTIONS(WorkstationOptions)

public:
    static constexpr int maxLights = 2000;

    WorkstationOptions();

    // As QCommandLineParser::process: --help and unknown options end the
    // program there. Then check().
    bool process(const QCoreApplication& app);
    // Parses the arguments (the program's name first) and check()s them.
    bool parse(const QStringList& arguments);
    // Reads the numeric values and makes the data directory's configs/ and
    // journals/; false, with errorText(), at the first that is wrong.
    bool check();
    // What was wrong, e.g. "--lights: 'abc' is not a whole number from 1 to 2000".
    QString errorText() const { return m_error; }

    bool isSet(const QString& name) const { return m_parser.isSet(name); }
    QString value(const QString& name) const { return m_parser.value(name); }

    bool batch() const { return m_parser.isSet(QStringLiteral("batch")); }
    int lights() const { return m_lights; }
    quint32 seed() const { return m_seed; }
    int timeoutSeconds() const { return m_timeoutSeconds; }
    int growSeconds() const { return m_growSeconds; }
    int quitAfterMs() const { return m_quitAfterMs; }
    // Absolute: --data, else the batch's or the window's own place.
    QString dataDir() const { return m_dataDir; }
    // Where downloads of each kind are saved below a data directory.
    static QString configDirIn(const QString& dataDir);
    static QString journalDirIn(const QString& dataDir);

private:
    // The option's value as a whole number from low to high; false (with the
    // message) when it is something else.
    bool readNumber(const QString& name, qint64 low, qint64 high, qint64* number);
    bool makeDataDir();

    QCommandLineParser m_parser;
    QString m_error;
    int m_lights = 0;
    quint32 m_seed = 0;
    int m_timeoutSeconds = 0;
    int m_growSeconds = 0;
    int m_quitAfterMs = 0;
    QString m_dataDir;
};
