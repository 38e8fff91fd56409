#include "core/durableappend.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>

#ifdef Q_OS_WIN
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

#ifdef Q_OS_WIN
int openForAppend(const QString &path)
{
    return ::_wopen(reinterpret_cast<const wchar_t *>(path.utf16()),
                    _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
}
int writeSome(int fd, const char *data, qint64 size)
{
    return ::_write(fd, data, unsigned(qMin<qint64>(size, 1 << 30)));
}
int syncToDisk(int fd)
{
    return ::_commit(fd);
}
int closeFile(int fd)
{
    return ::_close(fd);
}
#else
int openForAppend(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC,
                  0644);
}
qint64 writeSome(int fd, const char *data, qint64 size)
{
    qint64 written;
    do {
        written = ::write(fd, data, size_t(size));
    } while (written < 0 && errno == EINTR);
    return written;
}
int syncToDisk(int fd)
{
    return ::fsync(fd);
}
int closeFile(int fd)
{
    return ::close(fd);
}
#endif

} // namespace

bool appendDurably(const QString &path, const QByteArray &bytes, QString *error)
{
    const int fd = openForAppend(path);
    if (fd < 0) {
        *error = systemError();
        return false;
    }
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const qint64 written = writeSome(fd, data, left);
        if (written <= 0) {
            *error = written < 0 ? systemError() : QStringLiteral("nothing could be written");
            closeFile(fd);
            return false;
        }
        data += written;
        left -= written;
    }
    if (syncToDisk(fd) != 0) {
        *error = systemError();
        closeFile(fd);
        return false;
    }
    if (closeFile(fd) != 0) {
        *error = systemError();
        return false;
    }
    return true;
}
