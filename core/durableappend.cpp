#include "core/durableappend.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN

QString systemError()
{
    wchar_t *text = nullptr;
    const DWORD code = GetLastError();
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                           | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    QString message = text ? QString::fromWCharArray(text).trimmed()
                           : QStringLiteral("system error %1").arg(code);
    LocalFree(text);
    return message;
}

// Far beyond any real history: the lock guards the appends, never a byte
// that a reader reads (a Windows lock refuses reads of the bytes it covers).
constexpr DWORD kLockOffsetHigh = 0x7fffffff;

class File
{
public:
    explicit File(const QString &path) : m_path(path) { }
    ~File()
    {
        if (m_handle == INVALID_HANDLE_VALUE)
            return;
        if (m_locked) {
            OVERLAPPED at = {};
            at.OffsetHigh = kLockOffsetHigh;
            UnlockFileEx(m_handle, 0, 1, 0, &at);
        }
        CloseHandle(m_handle);
    }

    bool open(bool *created)
    {
        // FILE_APPEND_DATA without FILE_WRITE_DATA: the system puts every
        // write at the end in one step (the C library's append is a seek and
        // then a write, which another writer can slip between).
        m_handle = CreateFileW(reinterpret_cast<const wchar_t *>(m_path.utf16()),
                               FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_handle == INVALID_HANDLE_VALUE)
            return false;
        *created = GetLastError() != ERROR_ALREADY_EXISTS;
        return true;
    }
    bool lock()
    {
        OVERLAPPED at = {};
        at.OffsetHigh = kLockOffsetHigh;
        m_locked = LockFileEx(m_handle, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at);
        return m_locked;
    }
    // The last byte, or 0 for an empty file; -1 on failure.
    int lastByte()
    {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(m_handle, &size))
            return -1;
        if (size.QuadPart == 0)
            return 0;
        OVERLAPPED at = {};
        const quint64 offset = quint64(size.QuadPart - 1);
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        char byte = 0;
        DWORD read = 0;
        if (!ReadFile(m_handle, &byte, 1, &read, &at) || read != 1)
            return -1;
        return uchar(byte);
    }
    qint64 write(const char *data, qint64 size)
    {
        DWORD written = 0;
        if (!WriteFile(m_handle, data, DWORD(qMin<qint64>(size, 1 << 30)), &written, nullptr))
            return -1;
        return written;
    }
    bool sync() { return FlushFileBuffers(m_handle); }
    static bool syncFolder(const QString &folder)
    {
        // NTFS keeps the new name in its journal; flushing the folder asks
        // for it now. Best effort: not every file system or account may.
        const HANDLE handle = CreateFileW(
                reinterpret_cast<const wchar_t *>(folder.utf16()), GENERIC_READ | GENERIC_WRITE,
                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return true;
        FlushFileBuffers(handle);
        CloseHandle(handle);
        return true;
    }

private:
    QString m_path;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    bool m_locked = false;
};

#else

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

class File
{
public:
    explicit File(const QString &path) : m_path(QFile::encodeName(path)) { }
    // Closing the descriptor releases the lock.
    ~File()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool open(bool *created)
    {
        // Told apart so that only the append that made the file syncs the
        // folder.
        for (int attempt = 0; attempt < 2; ++attempt) {
            m_fd = ::open(m_path.constData(), O_RDWR | O_APPEND | O_CLOEXEC);
            if (m_fd >= 0) {
                *created = false;
                return true;
            }
            if (errno != ENOENT)
                return false;
            m_fd = ::open(m_path.constData(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC,
                          0644);
            if (m_fd >= 0) {
                *created = true;
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }
    bool lock()
    {
        int result;
        do {
            result = ::flock(m_fd, LOCK_EX);
        } while (result != 0 && errno == EINTR);
        return result == 0;
    }
    int lastByte()
    {
        struct stat info;
        if (::fstat(m_fd, &info) != 0)
            return -1;
        if (info.st_size == 0)
            return 0;
        char byte = 0;
        ssize_t read;
        do {
            read = ::pread(m_fd, &byte, 1, info.st_size - 1);
        } while (read < 0 && errno == EINTR);
        return read == 1 ? uchar(byte) : -1;
    }
    qint64 write(const char *data, qint64 size)
    {
        ssize_t written;
        do {
            written = ::write(m_fd, data, size_t(size));
        } while (written < 0 && errno == EINTR);
        return written;
    }
    bool sync() { return ::fsync(m_fd) == 0; }
    static bool syncFolder(const QString &folder)
    {
        const int fd =
                ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return false;
        const bool synced = ::fsync(fd) == 0;
        ::close(fd);
        return synced;
    }

private:
    QByteArray m_path;
    int m_fd = -1;
};

#endif

} // namespace

bool appendDurably(const QString &path, const QByteArray &line, QString *error)
{
    File file(path);
    bool created = false;
    if (!file.open(&created) || !file.lock()) {
        *error = systemError();
        return false;
    }
    // Under the lock: no other writer can end the file between this look
    // and the write.
    const int last = file.lastByte();
    if (last < 0) {
        *error = systemError();
        return false;
    }
    // One write for the whole line: a writer that does not lock (an older
    // program) still cannot land inside it on POSIX.
    const QByteArray bytes = last != 0 && last != '\n' ? '\n' + line : line;
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const qint64 written = file.write(data, left);
        if (written <= 0) {
            *error = written < 0 ? systemError() : QStringLiteral("nothing could be written");
            return false;
        }
        data += written;
        left -= written;
    }
    if (!file.sync()) {
        *error = systemError();
        return false;
    }
    if (created && !File::syncFolder(QFileInfo(path).absolutePath())) {
        *error = systemError();
        return false;
    }
    return true;
}
