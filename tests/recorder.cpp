// The recording program of tests/recordingprogram.h where no shell script runs.
#include <QCoreApplication>
#include <QSaveFile>
#include <QStringList>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    QSaveFile out(QCoreApplication::applicationFilePath() + QStringLiteral(".out"));
    if (!out.open(QIODevice::WriteOnly))
        return 1;
    out.write(QString::number(args.size()).toUtf8() + '\n' + args.value(0).toUtf8());
    return out.commit() ? 0 : 1;
}
