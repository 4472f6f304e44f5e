#pragma once

#include "journal/controllerlist.h"
#include "journal/fleetwriter.h"
#include "journal/journalfilter.h"
#include "journal/journalmerge.h"

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class JournalDecoder;
class QIODevice;

// dq-journal over many journals: each file read, decoded and filtered on its
// own, only the records the filter takes kept (their bytes, decoded again
// when written), then written merged by time.
class FleetRun
{
public:
    struct Settings
    {
        ControllerList controllers; // when useList
        bool useList = false;
        QString listName;
        int version = 0; // for every journal when !useList
        JournalFilter filter;
        bool oldestFirst = false;
        bool count = false;
        bool countAll = false; // the controllers without a match too
        FleetWriter::Format format = FleetWriter::Format::Text;
    };

    explicit FleetRun(Settings settings);
    ~FleetRun();

    // Files and directories (their Jrn*.bin files); what cannot be taken is
    // said on standard error and counts as an error.
    void addPaths(const QStringList& paths);
    // The journal files taken, as named.
    QStringList inputFiles() const;
    // Reads, decodes and filters every journal taken, one at a time.
    void collect();
    // The merged records (or the counts); false on a write error.
    bool write(QIODevice& out);

    bool hadErrors() const { return m_errors; }

    // A text for standard error: control characters escaped, cut short.
    static QString printable(const QString& text);
    // Says the message on standard error, as printable() shows it.
    static void warn(const QString& message);
    qint64 matches() const { return m_matches; }

private:
    struct Input
    {
        QString path;
        int controllerId = 0;
        int version = 0;
    };
    struct Kept
    {
        int controllerId = 0;
        bool textJournal = false;
        const JournalDecoder* decoder = nullptr;
        QString file;
        QByteArray bytes; // the kept records
    };
    void addFile(const QString& path);
    void collectOne(const Input& input);
    const JournalDecoder* decoderFor(int version, const QString& path);
    void error(const QString& message);

    Settings m_settings;
    std::vector<Input> m_inputs;
    QSet<QString> m_seen;
    std::vector<Kept> m_kept; // by the merge's journal index
    JournalMerge m_merge;
    QMap<int, qint64> m_counts;
    QMap<int, std::shared_ptr<JournalDecoder>> m_decoders;
    bool m_textLayout = false;
    bool m_errors = false;
    qint64 m_matches = 0;
};
