#pragma once

// Paths that are no plain file, for the tests of everything that reads or
// writes a file by name: links, a FIFO, a device, a directory, a sparse giant.
// Windows has no FIFOs, devices in the file system or symbolic links a user
// may make: a test that needs one is skipped there with
// SPECIALFILES_SKIP_IF(SpecialFiles::unsupported(kind)).

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#else
#include <QFileInfo>
#include <qt_windows.h>
#define S_IFLNK 0120000 // kindAt()'s answer for a link, which Windows never gives here
#endif

// Skips the running test or data row for the reason given, if any.
#define SPECIALFILES_SKIP_IF(reason)                                                               \
    do {                                                                                           \
        if (const char* const why_ = (reason))                                                     \
            QSKIP(why_);                                                                           \
    } while (false)

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

// A device anyone may open by name: endless zeros here; on Windows the
// reserved name NUL, a device in whatever directory it is named.
inline QString device()
{
#ifdef Q_OS_UNIX
    return QStringLiteral("/dev/zero");
#else
    return QStringLiteral("NUL");
#endif
}

// Why this platform cannot make a thing of that kind, or nullptr.
inline const char* unsupported(Kind kind)
{
#ifdef Q_OS_UNIX
    Q_UNUSED(kind);
    return nullptr;
#else
    switch (kind) {
    case LinkToRegular:
    case DanglingLink:
        return "Windows: QFile::link makes a shortcut (.lnk), not a symbolic link";
    case Fifo:
        return "Windows has no FIFOs in the file system";
    case LinkToZero:
    case NullDevice:
        return "Windows has no device files";
    default:
        return nullptr;
    }
#endif
}

// Makes path, which does not exist yet, a thing of that kind (false where unsupported()).
inline bool make(Kind kind, const QString& path, const QByteArray& content = QByteArray(),
                 qint64 size = 0)
{
    if (unsupported(kind))
        return false;
    const QByteArray native = QFile::encodeName(path);
    Q_UNUSED(native);
    switch (kind) {
    case Regular:
        return detail::writeFile(path, content);
    case LinkToRegular:
        return detail::writeFile(targetOf(path), content) && QFile::link(targetOf(path), path);
    case DanglingLink:
        return QFile::link(targetOf(path), path);
    case Fifo:
#ifdef Q_OS_UNIX
        return mkfifo(native.constData(), 0600) == 0;
#endif
        break;
    case LinkToZero:
        return QFile::link(QStringLiteral("/dev/zero"), path);
    case Directory:
        return QDir().mkpath(path);
    case Sparse: {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.resize(size);
    }
    case NullDevice:
#ifdef Q_OS_UNIX
        return mknod(native.constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
#endif
        break;
    }
    return false;
}

// Kind of the thing at path, without following a link (-1: nothing there).
inline int kindAt(const QString& path)
{
#ifndef Q_OS_UNIX
    const QFileInfo info(path);
    return !info.exists() ? -1 : info.isDir() ? int(S_IFDIR) : int(S_IFREG);
#else
    struct stat st
    {
    };
    if (lstat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    if (S_ISLNK(st.st_mode))
        return S_IFLNK;
    return int(st.st_mode & S_IFMT);
#endif
}

// While it lives, no file of the process grows past bytes: writes beyond fail
// as on a full disk, also for root.
#ifdef Q_OS_UNIX
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
#endif

// While it lives, saving over the file at path fails and leaves it as it was.
// Here a file size limit makes any write past bytes fail, as a full disk
// would. Windows has no such limit, but a file there is often held open by
// another program (a viewer, an editor, a virus scan) that shares reading and
// writing but not its deletion: then it cannot be replaced.
class SaveBlocker
{
public:
#ifdef Q_OS_UNIX
    SaveBlocker(const QString& path, rlim_t bytes) : m_limit(bytes)
    {
        Q_UNUSED(path);
    }
    bool isSet() const
    {
        return m_limit.isSet();
    }
    // What the system says of the failure.
    static QString reason()
    {
        return QString::fromLocal8Bit(strerror(EFBIG));
    }

private:
    FileSizeLimit m_limit;
#else
    SaveBlocker(const QString& path, qint64 bytes)
        : m_handle(
              CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
                          GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr))
    {
        Q_UNUSED(bytes);
    }
    ~SaveBlocker()
    {
        if (isSet())
            CloseHandle(m_handle);
    }
    SaveBlocker(const SaveBlocker&) = delete;
    SaveBlocker& operator=(const SaveBlocker&) = delete;
    bool isSet() const
    {
        return m_handle != INVALID_HANDLE_VALUE;
    }
    static QString reason()
    {
        return qt_error_string(ERROR_ACCESS_DENIED);
    }

private:
    HANDLE m_handle;
#endif
};

// A code that waits for ever to open a FIFO for reading is let go after a
// while by a writer that opens and closes the other end: a regression then
// shows as a failure (fired()) instead of a hung test. An empty path guards nothing.
class FifoGuard
{
public:
    explicit FifoGuard(const QString& path) : m_path(QFile::encodeName(path))
    {
        // Nothing to guard where there are no FIFOs.
        if (!m_path.isEmpty() && !unsupported(Fifo))
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
#ifdef Q_OS_UNIX
            const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);
                m_fired = true;
            }
#endif
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
