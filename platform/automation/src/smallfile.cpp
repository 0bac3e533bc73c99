#include "automation/smallfile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace automation {

namespace {

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

Error cannotOpen(const QByteArray &path, int error) {
    if (error == ENOENT) {
        struct stat link {};
        if (::lstat(path.constData(), &link) == 0 && S_ISLNK(link.st_mode))
            return makeError(err::FileNotFound,
                             QStringLiteral("a symbolic link to a missing file"));
        return makeError(err::FileNotFound, qt_error_string(error));
    }
    return makeError(error == EACCES ? err::PermissionDenied : err::FileAccessError,
                     qt_error_string(error));
}

} // namespace

QString notRegularFile(mode_t mode) {
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return QStringLiteral("a folder, not a file");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO, not a file");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket, not a file");
    return QStringLiteral("not a regular file: a device");
}

Result<QByteArray> readSmallFile(const QString &path, qint64 cap, Oversize oversize) {
    const QByteArray name = QFile::encodeName(path);
    const Descriptor d{::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    if (d.fd < 0)
        return cannotOpen(name, errno);
    struct stat st {};
    if (::fstat(d.fd, &st) != 0)
        return makeError(err::FileAccessError, qt_error_string(errno));
    if (const QString why = notRegularFile(st.st_mode); !why.isEmpty())
        return makeError(err::FileAccessError, why);

    // One byte beyond the cap tells a file that is too large from one that
    // just fits, whatever its size said when it was looked at.
    const qint64 wanted = oversize == Oversize::Refuse ? cap + 1 : cap;
    QByteArray bytes(qsizetype(std::min<qint64>(wanted, st.st_size + 1)), Qt::Uninitialized);
    qint64 got = 0;
    while (got < wanted) {
        if (got == bytes.size())
            bytes.resize(qsizetype(std::min<qint64>(wanted, got * 2 + 4096)));
        const ssize_t n = ::read(d.fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return makeError(err::FileAccessError, qt_error_string(errno));
        if (n == 0)
            break;
        got += n;
    }
    if (got > cap)
        return makeError(err::FileAccessError, QStringLiteral("larger than %1 bytes").arg(cap));
    bytes.truncate(qsizetype(got));
    return bytes;
}

} // namespace automation
