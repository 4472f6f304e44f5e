#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QRandomGenerator>
#include <QString>
#include <QVector>
#include <functional>

// What the simulated controllers hold: journals and configurations of every
// controller family, generated deterministically from a seed, and the
// reference model of what the module stores from them.
namespace ControllerData {

enum class Family { Gen314, Gen315, Gen316, Gen317, TmHelix, Vegal };

enum class ConfigForm { Binary, Text, Json, BrokenTable };

constexpr int BinaryBlockSize = 96;
constexpr int RecordSize = 8;
constexpr int MaxBinaryBlocks = 344;
constexpr int BlocksAll = -1;
constexpr int BlocksNew = -3;

QString familyName(Family family);
// The controller type text a light of the family carries ("id" and "type" are
// all the module learns about a light). variant picks between equivalent spellings.
QString typeFor(Family family, int variant = 0);
// Whether the module treats the family as TM_HELIX or vegal (text journals,
// JSON configurations).
bool isMarked(Family family);
// The journal format version the viewer needs for the family's journals.
int journalVersion(Family family);

// Message codes that the definition file of a generation (314..317) defines.
const QVector<int>& messageCodes(int version);
// Source codes that all definition files define.
const QVector<int>& sourceCodes();

// One 8-byte binary record: time stamp and source packed little-endian, then
// the message code and three parameter bytes.
QByteArray binaryRecord(const QDateTime& time, int source, int code, quint8 p1 = 0, quint8 p2 = 0,
                        quint8 p3 = 0);

// count binary records, newest first, each older than `newerThan` by a few
// seconds to a few minutes. Returns the records; `oldest` gets the time of the last.
QByteArray binaryRecords(QRandomGenerator& rng, int version, int count, const QDateTime& newerThan,
                         QDateTime* oldest);
// The same, but newer than `olderThan` (for a journal that grows): the result is
// newest first and its last record is still newer than `olderThan`; `newest` gets
// the time of the first.
QByteArray newerBinaryRecords(QRandomGenerator& rng, int version, int count,
                              const QDateTime& olderThan, QDateTime* newest);

// Zero-terminated text lines "date time type source message", newest first.
QByteArray textLines(QRandomGenerator& rng, Family family, int count, const QDateTime& newerThan,
                     QDateTime* oldest);
QByteArray newerTextLines(QRandomGenerator& rng, Family family, int count,
                          const QDateTime& olderThan, QDateTime* newest);

// A configuration as the controller streams it from offset 0, and the bytes
// the module is to save from it. headerSize is the size of the header piece
// (text and JSON forms) that the controller sends alone as the first piece.
struct Config
{
    ConfigForm form = ConfigForm::Binary;
    QByteArray stream;
    QByteArray saved;
    int headerSize = 0;
    QString jsonType; // JSON form: the "type=" value, empty when the header has none
};

// Binary image with an offset table; `size` bytes long, followed by `padding`
// erased bytes the controller also holds.
Config binaryConfig(QRandomGenerator& rng, int size, int padding);
// Erased configuration memory: an offset table without a usable entry.
Config brokenTableConfig();
Config textConfig(QRandomGenerator& rng, int id, int lines);
// jsonType empty: the header carries no "type=".
Config jsonConfig(QRandomGenerator& rng, int id, const QString& jsonType, int entries);

// Whether the module saves a configuration of this light as ".json".
bool configSavedAsJson(Family family, const Config& config);

QString journalFileName(int id);
QString configFileName(int id, bool json);

// The reference model of a journal download: what the module stores in the
// journal file for a controller that answers `block(n)` for block n. Where the
// module's rules leave a choice, it keeps data: the records in front of the old
// newest record, the zero byte that ends a text journal's last line, and a
// text journal that ends inside its first block; and an empty block ends a text
// journal as it ends a binary one.
QByteArray expectedJournalFile(const std::function<QByteArray(int)>& block, bool marked, int blocks,
                               bool fileExists, const QByteArray& existing);

// Its parts. What a download receives, up to the marker of the saved journal
// it goes on from (empty: none): with blocks BlocksNew, the records in front
// of it; whether it met it.
struct ReceivedJournal
{
    QByteArray data;
    bool markerMet = false;
};
ReceivedJournal receivedJournal(const std::function<QByteArray(int)>& block, bool marked,
                                int blocks, const QByteArray& marker);
// The marker an only-new download looks for: the newest non-empty line, or
// the newest record.
QByteArray stopMarker(const QByteArray& journal, bool marked);
// The file an only-new download saves: what it received, then the journal it
// goes on from, from the marker on where it met it; else only that journal's
// entries it did not receive, so that no entry repeats.
QByteArray continuedJournal(const QByteArray& fresh, const QByteArray& previous, bool markerMet,
                            bool marked);

} // namespace ControllerData
