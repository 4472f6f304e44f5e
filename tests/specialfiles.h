#pragma once

// Paths that are no plain file, for the tests of everything that reads or
// writes a file by name: links, a FIFO, a device, a directory, a sparse giant.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace SpecialFiles {

enum Kind {
    Regular,       // a file holding the content
    LinkToRegular, // a symbolic link to such a file, path + ".target"
    DanglingLink,  // a symbolic link to path + ".target", which does not exist
    Fifo,          // a named pipe nobody writes to: opening it to read waits for ever
    LinkToZero,    // a symbolic link to /dev/zero: endless bytes, no size
    Directory,
    Sparse,     // a file of `size` zero bytes that takes no disk space
    NullDevice, // a character device like /dev/null (needs the right to make one)
};

inline QString targetOf(const QString& path)
{
    return path + QStringLiteral(".target");
}

namespace detail {
inline bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}
} // namespace detail

// Makes path, which does not exist yet, a thing of that kind.
inline bool make(Kind kind, const QString& path, const QByteArray& content = QByteArray(),
                 qint64 size = 0)
{
    const QByteArray native = QFile::encodeName(path);
    switch (kind) {
    case Regular:
        return detail::writeFile(path, content);
    case LinkToRegular:
        return detail::writeFile(targetOf(path), content) && QFile::link(targetOf(path), path);
    case DanglingLink:
        return QFile::link(targetOf(path), path);
    case Fifo:
        return mkfifo(native.constData(), 0600) == 0;
    case LinkToZero:
        return QFile::link(QStringLiteral("/dev/zero"), path);
    case Directory:
        return QDir().mkpath(path);
    case Sparse: {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.resize(size);
    }
    case NullDevice:
        return mknod(native.constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    }
    return false;
}

// Kind of the thing at path, without following a link (-1: nothing there).
inline int kindAt(const QString& path)
{
    struct stat st
    {
    };
    if (lstat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    if (S_ISLNK(st.st_mode))
        return S_IFLNK;
    return int(st.st_mode & S_IFMT);
}

// While it lives, no file of the process grows past bytes: writes beyond fail
// as on a full disk, also for root.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_ok = getrlimit(RLIMIT_FSIZE, &m_old) == 0;
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = m_old;
        small.rlim_cur = bytes;
        m_ok = m_ok && setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool isSet() const { return m_ok; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

// A code that waits for ever to open a FIFO for reading is let go after a
// while by a writer that opens and closes the other end: a regression then
// shows as a failure (fired()) instead of a hung test. An empty path guards nothing.
class FifoGuard
{
public:
    explicit FifoGuard(const QString& path) : m_path(QFile::encodeName(path))
    {
        if (!m_path.isEmpty())
            m_thread = std::thread([this] { run(); });
    }
    ~FifoGuard()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }
    FifoGuard(const FifoGuard&) = delete;
    FifoGuard& operator=(const FifoGuard&) = delete;

    bool fired() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_fired;
    }

private:
    void run()
    {
        using namespace std::chrono_literals;
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_wake.wait_for(lock, 2s, [this] { return m_done; }))
            return;
        // Without a reader the open fails at once; try until the test ends.
        while (!m_done) {
            const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);
                m_fired = true;
            }
            m_wake.wait_for(lock, 20ms, [this] { return m_done; });
        }
    }

    QByteArray m_path;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    bool m_fired = false;
    std::thread m_thread;
};

} // namespace SpecialFiles
