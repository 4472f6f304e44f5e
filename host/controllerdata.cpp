#include "host/controllerdata.h"

#include "core/downloadfile.h"
#include "journal/messagedefinitionparser.h"
#include "journal/messagetemplate.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTextCodec>
#include <QtEndian>

#include <algorithm>
#include <map>

// The built-in definition files, compiled into this library: whatever program
// simulates controllers writes the same journals.
static void initDefinitions()
{
    static const bool once = [] {
        Q_INIT_RESOURCE(mes_files);
        return true;
    }();
    Q_UNUSED(once)
}

namespace ControllerData {

namespace {

QVector<int> range(int from, int to)
{
    QVector<int> v;
    for (int i = from; i <= to; ++i)
        v.append(i);
    return v;
}

QVector<int> join(std::initializer_list<QVector<int>> parts)
{
    QVector<int> v;
    for (const auto& p : parts)
        v += p;
    return v;
}

QVector<int> without(QVector<int> v, std::initializer_list<int> drop)
{
    for (int d : drop)
        v.removeAll(d);
    return v;
}

// The codes each generation's definition file defines (codes were renumbered
// between 315 and 316, so a journal only makes sense with its own file).
const QVector<int>& codes317()
{
    static const QVector<int> v = join({range(1, 15),
                                        range(16, 28),
                                        {30, 31},
                                        range(32, 50),
                                        range(52, 60),
                                        range(62, 79),
                                        range(80, 86),
                                        range(90, 98),
                                        range(102, 104),
                                        range(110, 126),
                                        range(129, 140),
                                        range(150, 157),
                                        range(160, 168),
                                        range(170, 174),
                                        {180, 181, 190, 191, 195},
                                        range(220, 223),
                                        {230},
                                        range(232, 235),
                                        range(247, 250)});
    return v;
}

const QVector<int>& codes316()
{
    static const QVector<int> v = without(codes317(), {15, 30, 49, 50, 62, 63, 68});
    return v;
}

const QVector<int>& codes315()
{
    static const QVector<int> v = join({range(1, 14),
                                        range(16, 25),
                                        {30, 32},
                                        range(34, 46),
                                        range(48, 63),
                                        range(64, 96),
                                        range(98, 109),
                                        range(110, 114),
                                        range(128, 144),
                                        range(200, 203),
                                        {210},
                                        range(212, 215),
                                        range(247, 250)});
    return v;
}

const QVector<int>& codes314()
{
    static const QVector<int> v = [] {
        QVector<int> c = without(codes315(), {24, 25, 30, 101, 102, 104, 107});
        c.append(97);
        std::sort(c.begin(), c.end());
        return c;
    }();
    return v;
}

template <typename T> const T& pick(QRandomGenerator& rng, const QVector<T>& v)
{
    return v.at(int(rng.bounded(quint32(v.size()))));
}

int pickSource(QRandomGenerator& rng)
{
    // The debug module (31) writes rarely; its records show no text.
    const auto& s = sourceCodes();
    for (;;) {
        const int source = pick(rng, s);
        if (source != 31 || rng.bounded(20) == 0)
            return source;
    }
}

// Time between two journal events: mostly seconds, sometimes minutes.
int gapSeconds(QRandomGenerator& rng)
{
    return rng.bounded(8) == 0 ? 60 + int(rng.bounded(600)) : 1 + int(rng.bounded(40));
}

// A code a controller of a generation writes, and how many values (0 up) each
// of its parameter bytes takes so that its text expands without an error.
struct CodeValues
{
    int code;
    quint32 values[3];
};

// The codes of a generation whose texts in the built-in definition file
// expand cleanly, their parameters kept small (to 4 values) as a real
// controller's are.
const QVector<CodeValues>& expandableCodes(int version)
{
    static std::map<int, QVector<CodeValues>> known; // its entries stay where they are
    const auto it = known.find(version);
    if (it != known.end())
        return it->second;
    QVector<CodeValues> codes;
    initDefinitions();
    QFile file(QStringLiteral(":/mes_files/Notepad.mes.%1").arg(version));
    if (file.open(QIODevice::ReadOnly)) {
        QMap<int, QString> sources;
        QMap<int, QString> messages;
        MessageDefinitionParser::parse(file, sources, messages);
        for (const int code : messageCodes(version)) {
            const MessageTemplate text(messages.value(code));
            CodeValues c{code, {}};
            bool expands = true;
            for (int i = 0; i < 3; ++i) {
                const int allowed = text.valuesAllowed(5 + i);
                expands = expands && allowed > 0;
                c.values[i] = quint32(qMin(allowed, 4));
            }
            if (expands)
                codes.append(c);
        }
    }
    if (codes.isEmpty()) // no file: small values, which most tables have rows for
        for (const int code : messageCodes(version))
            codes.append(CodeValues{code, {4, 4, 4}});
    return known.emplace(version, codes).first->second;
}

QByteArray randomRecord(QRandomGenerator& rng, int version, const QDateTime& time)
{
    const int source = pickSource(rng);
    const QVector<CodeValues>& codes = expandableCodes(version);
    const CodeValues& c = pick(rng, codes);
    const quint8 p1 = quint8(rng.bounded(c.values[0]));
    const quint8 p2 = quint8(rng.bounded(c.values[1]));
    const quint8 p3 = quint8(rng.bounded(c.values[2]));
    return binaryRecord(time, source, c.code, p1, p2, p3);
}

QTextCodec* cp1251()
{
    static QTextCodec* codec = QTextCodec::codecForName("Windows-1251");
    return codec;
}

QByteArray textLine(QRandomGenerator& rng, Family family, const QDateTime& time)
{
    static const QVector<QString> helix = {
        QStringLiteral("Дверь шкафа открыта"),           QStringLiteral("Дверь шкафа закрыта"),
        QStringLiteral("Включен режим жёлтого мигания"), QStringLiteral("Переход на программу 2"),
        QStringLiteral("Переход на программу 1"),        QStringLiteral("Отказ детектора 3"),
        QStringLiteral("Восстановлена связь с центром"), QStringLiteral("Потеряна связь с центром"),
        QStringLiteral("Перегорела лампа группы 4"),     QStringLiteral("Перезапуск контроллера"),
    };
    static const QVector<QString> vegal = {
        QStringLiteral("Самоконтроль пройден"),
        QStringLiteral("Ручное управление включено"),
        QStringLiteral("Ручное управление отключено"),
        QStringLiteral("Конфликт зелёных направлений 2 и 5"),
        QStringLiteral("Питание 220В ниже допуска"),
        QStringLiteral("Установка времени по GPS"),
        QStringLiteral("Вызов пешеходной фазы"),
        QStringLiteral("Загружена новая конфигурация"),
        QStringLiteral("Все красные"),
    };
    static const QVector<QByteArray> types = {"I", "I", "I", "W", "E"};
    const auto& texts = family == Family::Vegal ? vegal : helix;
    QByteArray line = time.toString(QStringLiteral("dd.MM.yy hh:mm:ss")).toLatin1();
    line += ' ';
    line += pick(rng, types);
    line += ' ';
    line += QByteArray::number(1 + rng.bounded(12));
    line += ' ';
    line += cp1251()->fromUnicode(pick(rng, texts));
    line += '\0';
    return line;
}

void putWord(QByteArray& image, int entry, quint16 value)
{
    qToLittleEndian<quint16>(value, image.data() + 2 * entry);
}

QByteArray randomBytes(QRandomGenerator& rng, int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char(rng.bounded(256));
    return b;
}

} // namespace

QString familyName(Family family)
{
    switch (family) {
    case Family::Gen314:
        return QStringLiteral("binary 3.14");
    case Family::Gen315:
        return QStringLiteral("binary 3.15");
    case Family::Gen316:
        return QStringLiteral("binary 3.16");
    case Family::Gen317:
        return QStringLiteral("binary 3.17");
    case Family::TmHelix:
        return QStringLiteral("TM_HELIX");
    case Family::Vegal:
        return QStringLiteral("vegal");
    }
    return QString();
}

QString typeFor(Family family, int variant)
{
    switch (family) {
    case Family::Gen314:
        return QStringLiteral("Вегал V3.14");
    case Family::Gen315:
        return QStringLiteral("Вегал V3.15");
    case Family::Gen316:
        return QStringLiteral("Вегал V3.16");
    case Family::Gen317:
        return QStringLiteral("Вегал V3.17");
    case Family::TmHelix:
        return variant % 2 ? QStringLiteral("tm_helix") : QStringLiteral("TM_HELIX");
    case Family::Vegal:
        return variant % 2 ? QStringLiteral("Зелта") : QStringLiteral("vegal2");
    }
    return QString();
}

bool isMarked(Family family)
{
    return family == Family::TmHelix || family == Family::Vegal;
}

int journalVersion(Family family)
{
    switch (family) {
    case Family::Gen314:
        return 314;
    case Family::Gen315:
        return 315;
    case Family::Gen316:
        return 316;
    case Family::Gen317:
        return 317;
    case Family::TmHelix:
        return 0x2FFFF;
    case Family::Vegal:
        return 0x3FFFF;
    }
    return 314;
}

const QVector<int>& messageCodes(int version)
{
    switch (version) {
    case 315:
        return codes315();
    case 316:
        return codes316();
    case 317:
        return codes317();
    default:
        return codes314();
    }
}

const QVector<int>& sourceCodes()
{
    static const QVector<int> v = join({range(1, 12), {14, 15, 16, 30, 31}});
    return v;
}

QByteArray binaryRecord(const QDateTime& time, int source, int code, quint8 p1, quint8 p2,
                        quint8 p3)
{
    const QDate d = time.date();
    const QTime t = time.time();
    const quint32 word = quint32(t.second()) | quint32(t.minute()) << 6 | quint32(t.hour()) << 12 |
                         quint32(d.day()) << 17 | quint32(d.month()) << 22 |
                         quint32(source & 0x3F) << 26;
    QByteArray r(RecordSize, '\0');
    qToLittleEndian<quint32>(word, r.data());
    r[4] = char(code);
    r[5] = char(p1);
    r[6] = char(p2);
    r[7] = char(p3);
    return r;
}

namespace {

// Entries older than newerThan, newest first, one per random gap; make builds
// the entry of one time stamp.
template <typename Make>
QByteArray olderEntries(QRandomGenerator& rng, int count, const QDateTime& newerThan,
                        QDateTime* oldest, Make make)
{
    QByteArray out;
    QDateTime t = newerThan;
    for (int i = 0; i < count; ++i) {
        t = t.addSecs(-gapSeconds(rng));
        out += make(t);
    }
    if (oldest)
        *oldest = t;
    return out;
}

// Entries newer than olderThan, also newest first: the times are drawn oldest
// to newest so that the random sequence matches the way a journal grows.
template <typename Make>
QByteArray newerEntries(QRandomGenerator& rng, int count, const QDateTime& olderThan,
                        QDateTime* newest, Make make)
{
    QVector<QDateTime> times;
    QDateTime t = olderThan;
    for (int i = 0; i < count; ++i) {
        t = t.addSecs(gapSeconds(rng));
        times.append(t);
    }
    QByteArray out;
    for (int i = count - 1; i >= 0; --i)
        out += make(times.at(i));
    if (newest)
        *newest = t;
    return out;
}

} // namespace

QByteArray binaryRecords(QRandomGenerator& rng, int version, int count, const QDateTime& newerThan,
                         QDateTime* oldest)
{
    return olderEntries(rng, count, newerThan, oldest,
                        [&](const QDateTime& t) { return randomRecord(rng, version, t); });
}

QByteArray newerBinaryRecords(QRandomGenerator& rng, int version, int count,
                              const QDateTime& olderThan, QDateTime* newest)
{
    return newerEntries(rng, count, olderThan, newest,
                        [&](const QDateTime& t) { return randomRecord(rng, version, t); });
}

QByteArray textLines(QRandomGenerator& rng, Family family, int count, const QDateTime& newerThan,
                     QDateTime* oldest)
{
    return olderEntries(rng, count, newerThan, oldest,
                        [&](const QDateTime& t) { return textLine(rng, family, t); });
}

QByteArray newerTextLines(QRandomGenerator& rng, Family family, int count,
                          const QDateTime& olderThan, QDateTime* newest)
{
    return newerEntries(rng, count, olderThan, newest,
                        [&](const QDateTime& t) { return textLine(rng, family, t); });
}

Config binaryConfig(QRandomGenerator& rng, int size, int padding)
{
    // Offset table of 8 words: its own length, five section offsets, the
    // checksum's offset (the last used entry, 2 bytes before the end), one unused.
    constexpr int entries = 8;
    size = qMax(size, 2 * entries + 16) & ~1;
    QByteArray image = randomBytes(rng, size);
    putWord(image, 0, quint16(2 * entries));
    int offset = 2 * entries;
    const int sectionSpace = size - 2 - offset;
    for (int e = 1; e <= 5; ++e) {
        putWord(image, e, quint16(offset));
        offset += sectionSpace / 5;
    }
    putWord(image, 6, quint16(size - 2));
    putWord(image, 7, 0xFFFF);
    quint16 sum = 0;
    for (int i = 0; i < size - 2; ++i)
        sum = quint16(sum + quint8(image.at(i)));
    putWord(image, (size - 2) / 2, sum); // size is even: the checksum is the last word
    Config c;
    c.form = ConfigForm::Binary;
    c.saved = image;
    c.stream = image + QByteArray(padding, char(0xFF));
    return c;
}

Config brokenTableConfig()
{
    // A controller whose configuration memory is erased: no table entry is usable.
    Config c;
    c.form = ConfigForm::BrokenTable;
    c.stream = QByteArray(256, char(0xFF));
    return c;
}

Config textConfig(QRandomGenerator& rng, int id, int lines)
{
    Config c;
    c.form = ConfigForm::Text;
    const QByteArray header = "#TxtCfg v=3 id=" + QByteArray::number(id) + "\r\n";
    QByteArray body = "[object]\r\nid=" + QByteArray::number(id) + "\r\n[phases]\r\n";
    for (int i = 0; i < lines; ++i) {
        body += "phase" + QByteArray::number(i + 1) + "=" +
                QByteArray::number(rng.bounded(90) + 5) + "," +
                QByteArray::number(rng.bounded(6) + 3) + "," +
                QByteArray::number(rng.bounded(0x10000), 16) + "\r\n";
    }
    body += "END.";
    c.headerSize = header.size();
    c.saved = body;
    // What follows the end mark on the controller is not part of the configuration.
    c.stream = header + body + "\r\n" + QByteArray(40, '\0');
    return c;
}

Config jsonConfig(QRandomGenerator& rng, int id, const QString& jsonType, int entries)
{
    QJsonArray groups;
    for (int i = 0; i < entries; ++i) {
        QJsonObject g;
        g.insert(QStringLiteral("group"), i + 1);
        g.insert(QStringLiteral("green"), int(rng.bounded(60)) + 10);
        g.insert(QStringLiteral("yellow"), 3);
        g.insert(QStringLiteral("name"), QStringLiteral("Направление %1").arg(i + 1));
        groups.append(g);
    }
    QJsonObject root;
    root.insert(QStringLiteral("id"), id);
    root.insert(QStringLiteral("groups"), groups);
    const QByteArray json = QJsonDocument(root).toJson(QJsonDocument::Indented);
    QByteArray header = "#jcfg len=" + QByteArray::number(json.size()) + " ";
    if (!jsonType.isEmpty())
        header += "type=" + jsonType.toUtf8() + " ";
    Config c;
    c.form = ConfigForm::Json;
    c.jsonType = jsonType;
    c.headerSize = header.size();
    c.saved = json;
    c.stream = header + json + QByteArray(1, '\0');
    return c;
}

bool configSavedAsJson(Family family, const Config& config)
{
    return isMarked(family) || config.form == ConfigForm::Json;
}

QString journalFileName(int id)
{
    return DownloadFile::fileName(true, id);
}

QString configFileName(int id, bool json)
{
    const QString name = DownloadFile::fileName(false, id);
    return json ? DownloadFile::jsonPath(name) : name;
}

namespace {

// A text journal's lines (the zero that ends each dropped; the last may lack
// it) or a binary journal's records, newest first.
QList<QByteArray> journalEntries(const QByteArray& journal, bool marked)
{
    QList<QByteArray> out;
    if (!marked) {
        for (int at = 0; at < journal.size(); at += RecordSize)
            out.append(journal.mid(at, RecordSize));
        return out;
    }
    out = journal.split('\0');
    if (journal.endsWith('\0'))
        out.removeLast();
    return out;
}

} // namespace

QByteArray stopMarker(const QByteArray& journal, bool marked)
{
    if (!marked)
        return journal.left(RecordSize);
    for (const QByteArray& line : journalEntries(journal, true))
        if (!line.isEmpty())
            return line;
    return QByteArray();
}

QByteArray continuedJournal(const QByteArray& fresh, const QByteArray& previous, bool markerMet,
                            bool marked)
{
    QByteArray out = fresh;
    if (marked && !out.isEmpty() && !out.endsWith('\0') && !previous.isEmpty())
        out += '\0';
    if (markerMet) {
        // The empty lines in front of the marker are the controller's, in the new data.
        int from = 0;
        while (marked && from < previous.size() && previous.at(from) == '\0')
            ++from;
        return out + previous.mid(from);
    }
    const QList<QByteArray> received = journalEntries(fresh, marked);
    const QSet<QByteArray> held(received.begin(), received.end());
    const QList<QByteArray> old = journalEntries(previous, marked);
    for (int i = 0; i < old.size(); ++i) {
        if (held.contains(old.at(i)))
            continue;
        // The last entry cut short is held when a whole one begins with it.
        const bool cut = i + 1 == old.size() &&
                         (marked ? !previous.endsWith('\0') : old.at(i).size() < RecordSize);
        if (cut && std::any_of(received.begin(), received.end(), [&](const QByteArray& entry) {
                return entry.startsWith(old.at(i));
            }))
            continue;
        out += old.at(i);
        // Each line keeps its zero, the last one only where the journal had it.
        if (marked && (i + 1 < old.size() || previous.endsWith('\0')))
            out += '\0';
    }
    return out;
}

ReceivedJournal receivedJournal(const std::function<QByteArray(int)>& block, bool marked,
                                int blocks, const QByteArray& marker)
{
    bool metMarker = false;
    QByteArray buffer;
    int loaded = 0;
    for (int n = 0;; ++n) {
        const QByteArray b = block(n);
        if (marked) {
            // A controller with nothing more to send has ended its journal, also
            // when the text lacks its closing empty line.
            if (b.isEmpty())
                break;
            if (!marker.isEmpty()) {
                // The newest old line, whole, wherever it lies: it may span two blocks.
                const QByteArray all = buffer + b;
                for (int from = qMax(0, buffer.size() - marker.size());;) {
                    const int at = all.indexOf(marker, from);
                    if (at < 0)
                        break;
                    const int end = at + marker.size();
                    if ((at == 0 || all.at(at - 1) == '\0') &&
                        (end >= all.size() || all.at(end) == '\0')) {
                        buffer = all.left(at);
                        metMarker = true;
                        break;
                    }
                    from = at + 1;
                }
                if (metMarker)
                    break;
            }
            // The text ends with two zero bytes, possibly split over two blocks;
            // the zero that ends the last line stays with it.
            if (buffer.endsWith('\0') && b.startsWith('\0'))
                break;
            const int k = b.indexOf(QByteArray(2, '\0'));
            if (k >= 0) {
                if (k > 0 || (!buffer.isEmpty() && !buffer.endsWith('\0')))
                    buffer += b.left(k + 1);
                break;
            }
            buffer += b;
            ++loaded;
            if (blocks > 0 && loaded >= blocks)
                break;
            continue;
        }
        if (!marker.isEmpty()) {
            // Records never straddle blocks: the old newest record starts a record.
            int at = -1;
            for (int r = 0; r + RecordSize <= b.size() && at < 0; r += RecordSize)
                if (b.mid(r, RecordSize) == marker)
                    at = r;
            if (at >= 0) {
                buffer += b.left(at); // the records in front of it are new
                metMarker = true;
                break;
            }
        }
        // Erased space ends the journal; the records in front of it are kept.
        int erased = b.isEmpty() ? 0 : -1;
        for (int r = 0; r < b.size() && erased < 0; r += RecordSize)
            erased = quint8(b.at(r)) == 0xFF ? r : -1;
        if (erased >= 0) {
            buffer += b.left(erased);
            break;
        }
        buffer += b;
        ++loaded;
        if (blocks > 0 && loaded >= blocks)
            break;
        if (loaded >= MaxBinaryBlocks)
            break;
    }
    return {buffer, metMarker};
}

QByteArray expectedJournalFile(const std::function<QByteArray(int)>& block, bool marked, int blocks,
                               bool fileExists, const QByteArray& existing)
{
    const bool continuation = blocks == BlocksNew && fileExists;
    const ReceivedJournal got =
        receivedJournal(block, marked, blocks, continuation ? stopMarker(existing, marked) : "");
    return continuation ? continuedJournal(got.data, existing, got.markerMet, marked) : got.data;
}

} // namespace ControllerData
