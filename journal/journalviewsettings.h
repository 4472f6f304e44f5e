#pragma once

#include <QSize>
#include <QString>
#include <QVector>

#include <memory>

class QSettings;

// What the journal viewer keeps from one dialog to the next, also across
// sessions: in the host's settings file (INI, UTF-8, named after the host's
// organisation and application), in the module's own group.
class JournalViewSettings
{
public:
    JournalViewSettings();
    ~JournalViewSettings();
    JournalViewSettings(const JournalViewSettings&) = delete;
    JournalViewSettings& operator=(const JournalViewSettings&) = delete;

    // An invalid size when none is kept.
    QSize size() const;
    void setSize(const QSize& size);
    // The widths of a table of this many columns (binary and text journals
    // differ); empty when none are kept for it.
    QVector<int> columnWidths(int columns) const;
    void setColumnWidths(const QVector<int>& widths);
    // The font sizes the viewer offers, in points.
    static constexpr int minFontSize = 6;
    static constexpr int maxFontSize = 48;

    // The table's font size in points, within the sizes offered; 0 for the default.
    int fontSize() const;
    void setFontSize(int points);
    // The extension of the save filter chosen last ("txt", "csv", "bin"); empty when none.
    QString saveSuffix() const;
    void setSaveSuffix(const QString& suffix);

private:
    std::unique_ptr<QSettings> m_settings;
};
