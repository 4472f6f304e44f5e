#pragma once

// A program for the tests of what the module starts (editors, the configuration
// tool): it writes how many arguments it got and the first one, a line each,
// to its own path + ".out", which appears whole or not at all. A shell script
// here; on Windows, which runs no shell script, a copy of tests/recorder.cpp's
// program (DQ_RECORDER_PATH).

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTest>

// Makes it at path (+ ".exe" on Windows), or one the system cannot run when
// runnable is false; returns its path, or an empty string when it cannot be made.
inline QString makeRecordingProgram(QString path, bool runnable = true)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return QString();
#ifdef Q_OS_WIN
    path += QStringLiteral(".exe");
    if (runnable)
        return QFile::copy(QStringLiteral(DQ_RECORDER_PATH), path) ? path : QString();
#endif
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return QString();
    if (runnable)
        f.write(
            "#!/bin/sh\nprintf '%s\\n%s' \"$#\" \"$1\" > \"$0.tmp\" && mv \"$0.tmp\" \"$0.out\"\n");
    else // a missing interpreter; on Windows no executable's format
        f.write("#!/no/such/interpreter\n");
    f.close();
    return f.setPermissions(f.permissions() | QFile::ExeOwner) ? path : QString();
}

// What the program at path recorded: its argument count and first argument, or
// nothing if it has not run within the timeout. The file is opened, not only
// looked for: on Windows (and under Wine) the rename that makes it appear can
// hold it a moment longer, and an open in that moment fails.
inline QStringList waitForRecordedRun(const QString& program, int timeout = 5000)
{
    QFile out(program + QStringLiteral(".out"));
    if (!QTest::qWaitFor([&] { return out.open(QIODevice::ReadOnly); }, timeout))
        return {};
    return QString::fromUtf8(out.readAll()).split(QLatin1Char('\n'));
}
