#include "fleet/journalmerge.h"

#include <QDir>
#include <QTemporaryFile>

#include <algorithm>
#include <cstring>

namespace {

// A stored entry: its key and length, then its bytes.
constexpr int HeaderSize = int(sizeof(qint64) + sizeof(qint32));
// What reading the runs back from the file may hold at once, shared out
// among them, and the least and most each run reads in one go.
constexpr qint64 ReadBudget = 32 * 1024 * 1024;
constexpr int LeastRead = 512;
constexpr int MostRead = 64 * 1024;

void appendEntry(QByteArray& out, qint64 key, const char* bytes, int length)
{
    const qint32 size = length;
    char header[HeaderSize];
    memcpy(header, &key, sizeof key);
    memcpy(header + sizeof key, &size, sizeof size);
    out.append(header, HeaderSize);
    out.append(bytes, length);
}

qint64 keyAt(const char* entry)
{
    qint64 key;
    memcpy(&key, entry, sizeof key);
    return key;
}

int lengthAt(const char* entry)
{
    qint32 length;
    memcpy(&length, entry + sizeof(qint64), sizeof length);
    return length;
}

} // namespace

JournalMerge::JournalMerge(bool oldestFirst, qint64 memoryBudget)
    : m_oldestFirst(oldestFirst), m_budget(memoryBudget)
{}

JournalMerge::~JournalMerge() = default;

void JournalMerge::fail(const QString& what, const QIODevice* device)
{
    // The first failure is the one to tell; the device that failed says why.
    if (m_error.isEmpty())
        m_error = device ? QStringLiteral("%1: %2").arg(what, device->errorString()) : what;
}

int JournalMerge::addJournal(int controllerId, QVector<Entry> entries, const char* bytes)
{
    if (!m_error.isEmpty())
        return -1;
    const auto newer = [](const Entry& a, const Entry& b) {
        return a.key != b.key ? a.key > b.key : a.position < b.position;
    };
    // Journals are mostly in order already.
    if (!std::is_sorted(entries.cbegin(), entries.cend(), newer))
        std::sort(entries.begin(), entries.end(), newer);
    // Stored in the order they are to be taken.
    if (m_oldestFirst)
        std::reverse(entries.begin(), entries.end());
    QByteArray run;
    qint64 size = 0;
    for (const Entry& e : entries)
        size += HeaderSize + e.length;
    run.reserve(int(size));
    for (const Entry& e : entries)
        appendEntry(run, e.key, bytes + e.offset, e.length);

    Run r;
    r.controllerId = controllerId;
    if (!m_file && m_memory.size() + run.size() > m_budget && !spill())
        return -1;
    if (m_file) {
        r.begin = m_fileSize;
        if (m_file->write(run) != run.size()) {
            fail(QStringLiteral("cannot write the temporary file %1").arg(m_file->fileName()),
                 m_file.get());
            return -1;
        }
        m_fileSize += run.size();
    } else {
        r.begin = m_memory.size();
        m_memory += run;
    }
    r.end = r.begin + run.size();
    m_runs.push_back(std::move(r));
    return int(m_runs.size()) - 1;
}

bool JournalMerge::spill()
{
    m_file =
        std::make_unique<QTemporaryFile>(QDir::temp().filePath(QStringLiteral("dq-merge-XXXXXX")));
    if (!m_file->open()) {
        fail(QStringLiteral("cannot make a temporary file in %1").arg(QDir::tempPath()),
             m_file.get());
        return false;
    }
    if (m_file->write(m_memory) != m_memory.size()) {
        fail(QStringLiteral("cannot write the temporary file %1").arg(m_file->fileName()),
             m_file.get());
        return false;
    }
    m_fileSize = m_memory.size();
    m_memory = QByteArray();
    return true;
}

bool JournalMerge::start()
{
    if (!m_error.isEmpty())
        return false;
    if (m_file && !m_file->flush()) {
        fail(QStringLiteral("cannot write the temporary file %1").arg(m_file->fileName()),
             m_file.get());
        return false;
    }
    // Read back unbuffered: each run reads its own small piece at its own
    // place, and a buffer of the file's would read far more than that.
    if (m_file) {
        m_reader = std::make_unique<QFile>(m_file->fileName());
        if (!m_reader->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            fail(QStringLiteral("cannot read the temporary file %1").arg(m_file->fileName()),
                 m_reader.get());
            return false;
        }
    }
    m_bufferSize = int(qBound(
        qint64(LeastRead), ReadBudget / qMax(qint64(1), qint64(m_runs.size())), qint64(MostRead)));
    m_heap.clear();
    for (size_t i = 0; i < m_runs.size(); ++i) {
        Run& r = m_runs[i];
        if (const char* entry = peek(r))
            m_heap.push_back({keyAt(entry), r.controllerId, int(i), entry});
    }
    for (size_t i = m_heap.size() / 2; i-- > 0;)
        siftDown(i);
    return m_error.isEmpty();
}

bool JournalMerge::fill(Run& run, int needed)
{
    // What is left of the buffer moves to its front; the rest is read behind it.
    const int kept = run.buffer.size() - run.bufferPos;
    const qint64 left = run.end - run.begin - run.read;
    const int want = int(qMin<qint64>(qMax(needed, m_bufferSize) - kept, left));
    QByteArray next(kept + qMax(0, want), Qt::Uninitialized);
    memcpy(next.data(), run.buffer.constData() + run.bufferPos, size_t(kept));
    if (want > 0) {
        if (!m_reader->seek(run.begin + run.read) ||
            m_reader->read(next.data() + kept, want) != want) {
            fail(QStringLiteral("cannot read the temporary file %1").arg(m_file->fileName()),
                 m_reader.get());
            return false;
        }
        run.read += want;
    }
    run.buffer = next;
    run.bufferPos = 0;
    if (run.buffer.size() < needed) {
        fail(QStringLiteral("the temporary file %1 is cut short").arg(m_file->fileName()), nullptr);
        return false;
    }
    return true;
}

const char* JournalMerge::peek(Run& run)
{
    if (!m_file)
        return run.read < run.end - run.begin ? m_memory.constData() + run.begin + run.read
                                              : nullptr;
    const bool readAll = run.read >= run.end - run.begin;
    if (readAll && run.bufferPos >= run.buffer.size())
        return nullptr;
    if (run.buffer.size() - run.bufferPos < HeaderSize && !fill(run, HeaderSize))
        return nullptr;
    const int whole = HeaderSize + lengthAt(run.buffer.constData() + run.bufferPos);
    if (run.buffer.size() - run.bufferPos < whole && !fill(run, whole))
        return nullptr;
    return run.buffer.constData() + run.bufferPos;
}

bool JournalMerge::before(const Head& a, const Head& b) const
{
    if (a.key != b.key)
        return m_oldestFirst ? a.key < b.key : a.key > b.key;
    return a.controllerId != b.controllerId ? a.controllerId < b.controllerId
                                            : a.journal < b.journal;
}

void JournalMerge::siftDown(size_t index)
{
    const Head moving = m_heap[index];
    const size_t size = m_heap.size();
    for (;;) {
        size_t child = 2 * index + 1;
        if (child >= size)
            break;
        if (child + 1 < size && before(m_heap[child + 1], m_heap[child]))
            ++child;
        if (!before(m_heap[child], moving))
            break;
        m_heap[index] = m_heap[child];
        index = child;
    }
    m_heap[index] = moving;
}

bool JournalMerge::next(Taken* taken)
{
    // The run taken from last gets its next head only now, so that the bytes
    // it handed out stayed where they were until this call; the new head
    // takes the front's place and sinks, one pass instead of a pop and a push.
    if (m_taken >= 0) {
        Run& run = m_runs[size_t(m_taken)];
        if (const char* entry = peek(run)) {
            m_heap.front() = {keyAt(entry), run.controllerId, m_taken, entry};
        } else {
            m_heap.front() = m_heap.back();
            m_heap.pop_back();
        }
        if (!m_heap.empty())
            siftDown(0);
        m_taken = -1;
    }
    if (m_heap.empty() || !m_error.isEmpty())
        return false;
    const Head& head = m_heap.front();
    Run& run = m_runs[size_t(head.journal)];
    taken->journal = head.journal;
    taken->key = head.key;
    taken->length = lengthAt(head.entry);
    taken->bytes = head.entry + HeaderSize;
    if (m_file)
        run.bufferPos += HeaderSize + taken->length;
    else
        run.read += HeaderSize + taken->length;
    m_taken = head.journal;
    return true;
}
