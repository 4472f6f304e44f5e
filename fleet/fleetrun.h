#pragma once

#include "fleet/controllerlist.h"
#include "fleet/fleetwriter.h"
#include "fleet/journalfilter.h"
#include "fleet/journalmerge.h"

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
// own, on every core, only the records the filter takes kept (their bytes,
// decoded again when written), then written merged by time. What is held
// at once is bounded: a few journals being read, and the kept records up to
// the merge's budget (the rest wait in a temporary file).
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
    // Reads, decodes and filters every journal taken, several at a time;
    // what each says on standard error comes in the order they were taken.
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
        qint64 size = 0;                         // when it was named
        const JournalDecoder* decoder = nullptr; // a binary journal's
    };
    // A journal with records in the merge, by the merge's journal index.
    struct Kept
    {
        int controllerId = 0;
        QString controllerType;
        const JournalDecoder* decoder = nullptr; // none for a text journal
        QString file;
    };
    struct Collected;
    struct Verdicts;
    void addFile(const QString& path);
    // Reads one journal; verdicts is this thread's own.
    Collected collectOne(const Input& input, Verdicts& verdicts) const;
    void keep(const Input& input, Collected& collected);
    // The lines of the merged records in one piece of the output.
    struct Piece;
    QByteArray format(const FleetWriter& writer, const Piece& piece, int from, int to) const;
    const JournalDecoder* decoderFor(int version, const QString& path);
    void error(const QString& message);

    Settings m_settings;
    std::vector<Input> m_inputs;
    QSet<QString> m_seen;
    std::vector<Kept> m_kept; // by the merge's journal index
    std::unique_ptr<JournalMerge> m_merge;
    QMap<int, qint64> m_counts;
    QMap<int, std::shared_ptr<JournalDecoder>> m_decoders;
    bool m_textLayout = false;
    bool m_errors = false;
    qint64 m_matches = 0;
};
