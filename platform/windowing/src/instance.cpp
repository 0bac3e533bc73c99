// The previous-instance indicator and the fatal-error report.

#include "windowing/instance.h"

#include "windowing/messagebox.h"

#include <automation/error.h>

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace windowing {
namespace {

// Locks this process holds, by name; their descriptors stay open until the
// process ends, and the kernel drops the locks with them.
QHash<QString, int> &heldLocks() {
    static QHash<QString, int> *held = new QHash<QString, int>;
    return *held;
}

QString safeFileName(const QString &name) {
    QString s = name;
    s.replace(QLatin1Char('/'), QLatin1Char('_'));
    if (s.isEmpty() || s == QLatin1String(".") || s == QLatin1String(".."))
        s.prepend(QLatin1String("lock"));
    return s;
}

// Opens a lock file that belongs to this user; -1 when it cannot.
int openLockFile(const QByteArray &path) {
    int fd;
    do {
        fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd); // somebody else's file in a shared directory
        return -1;
    }
    return fd;
}

int openLock(const QString &fileName) {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        const int fd = openLockFile(runtime + '/' + fileName.toLocal8Bit() + ".lock");
        if (fd >= 0)
            return fd;
    }
    const QByteArray tmp = "/tmp/" + fileName.toLocal8Bit() + '-' +
                           QByteArray::number(static_cast<qulonglong>(::geteuid())) + ".lock";
    return openLockFile(tmp);
}

std::function<void(const automation::Error &)> &fatalHandler() {
    static auto *h = new std::function<void(const automation::Error &)>;
    return *h;
}

} // namespace

bool previousInstance(const QString &name) {
    const QString fileName = safeFileName(name);
    if (heldLocks().contains(fileName))
        return false; // this process is the instance holding it
    const int fd = openLock(fileName);
    if (fd < 0)
        return false; // nowhere to keep a lock: nothing says another one runs

    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        heldLocks().insert(fileName, fd);
        return false;
    }
    const bool heldElsewhere = errno == EWOULDBLOCK;
    ::close(fd);
    return heldElsewhere;
}

void setFatalErrorHandler(std::function<void(const automation::Error &)> handler) {
    fatalHandler() = std::move(handler);
}

void fatalError(const automation::Error &error) {
    const auto handler = fatalHandler();
    if (handler) {
        handler(error);
    } else {
        QString description = error.description;
        if (description.isEmpty())
            description = QStringLiteral("Application-defined or object-defined error");
        const QString report =
            QStringLiteral("Run-time error '%1':\n\n%2").arg(error.number).arg(description);
        std::fprintf(stderr, "%s\n", qPrintable(report));
        showError(report);
    }
    // The run-time frame ends here, whatever is still on the stack: no
    // destructors run, the kernel closes files and releases locks.
    std::fflush(nullptr);
    ::_exit(1);
}

} // namespace windowing
