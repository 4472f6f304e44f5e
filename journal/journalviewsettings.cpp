#include "journal/journalviewsettings.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStringList>

namespace {

// Next to the editor table, in the group of the module.
const QString Group = QStringLiteral("Plugins/DownloadQueue/journalView/");

QString columnsKey(int columns)
{
    return Group + QStringLiteral("columns%1").arg(columns);
}

} // namespace

JournalViewSettings::JournalViewSettings()
    : m_settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                             QCoreApplication::organizationName(),
                                             QCoreApplication::applicationName()))
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    m_settings->setIniCodec("UTF-8"); // Qt 6 reads and writes INI files as UTF-8 always
#endif
}

JournalViewSettings::~JournalViewSettings() = default;

QSize JournalViewSettings::size() const
{
    return m_settings->value(Group + QStringLiteral("size")).toSize();
}

void JournalViewSettings::setSize(const QSize& size)
{
    m_settings->setValue(Group + QStringLiteral("size"), size);
}

QVector<int> JournalViewSettings::columnWidths(int columns) const
{
    const QStringList kept = m_settings->value(columnsKey(columns)).toStringList();
    QVector<int> widths;
    for (const QString& text : kept) {
        bool ok = false;
        const int width = text.toInt(&ok);
        if (!ok || width <= 0)
            return QVector<int>();
        widths.append(width);
    }
    return widths.size() == columns ? widths : QVector<int>();
}

void JournalViewSettings::setColumnWidths(const QVector<int>& widths)
{
    QStringList texts;
    for (int width : widths)
        texts.append(QString::number(width));
    m_settings->setValue(columnsKey(int(widths.size())), texts);
}

int JournalViewSettings::fontSize() const
{
    // A settings file edited by hand, or damaged, must not size the text absurdly.
    const int kept = m_settings->value(Group + QStringLiteral("fontSize")).toInt();
    return kept <= 0 ? 0 : qBound(minFontSize, kept, maxFontSize);
}

void JournalViewSettings::setFontSize(int points)
{
    if (points > 0)
        m_settings->setValue(Group + QStringLiteral("fontSize"), points);
    else
        m_settings->remove(Group + QStringLiteral("fontSize"));
}

QString JournalViewSettings::saveSuffix() const
{
    return m_settings->value(Group + QStringLiteral("saveFilter")).toString();
}

void JournalViewSettings::setSaveSuffix(const QString& suffix)
{
    m_settings->setValue(Group + QStringLiteral("saveFilter"), suffix);
}
