// A serial device driven with termios and modem-control requests.
//
// Opened non-blocking (an open never waits for carrier) and exclusive, raw
// 8N1 with CLOCAL (losing carrier must not hang the line up), no hardware or
// software flow control, and HUPCL cleared so that closing and reopening the
// port leaves DTR, which may be a clock line, where it is. Each RTS or DTR change
// is exactly one TIOCMBIS or TIOCMBIC, each carrier read one TIOCMGET, and
// output is written without waiting for it to drain.
#include "backends.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "comm/errors.h"

namespace comm {

namespace {

// The termios code of each of the line speeds, in their order.
constexpr speed_t SpeedCodes[] = {
    B110, B300, B600, B1200, B2400, B4800, B9600, B19200, B38400, B57600, B115200};
static_assert(std::size(SpeedCodes) == std::size(LineSpeeds));

speed_t speedCode(int baud) {
    const auto at = std::find(std::begin(LineSpeeds), std::end(LineSpeeds), baud);
    return at == std::end(LineSpeeds) ? B0 : SpeedCodes[at - std::begin(LineSpeeds)];
}

bool deviceGone(int errnum) {
    return errnum == EIO || errnum == ENXIO || errnum == ENODEV;
}

class DeviceBackend : public LineBackend {
  public:
    explicit DeviceBackend(const QString &path) : path_(path) {}
    ~DeviceBackend() override { close(); }

    automation::Result<> open(int baud, bool rts, bool dtr) override {
        const QByteArray native = QFile::encodeName(path_);
        int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return openFailure(errno, path_);
        if (!isatty(fd)) {
            ::close(fd);
            return lineError(err::HardwareNotAvailable,
                             QStringLiteral("%1 is not a serial device").arg(path_));
        }
        // TIOCEXCL keeps other programs out of the device; the lock also keeps
        // out those running as root and a second port of this program.
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return lineError(err::PortAlreadyOpen,
                             QStringLiteral("%1 is already in use by another program").arg(path_));
        }
        ioctl(fd, TIOCEXCL);
        fd_ = fd;
        gone_ = false;
        if (automation::Result<> configured = configure(baud); !configured) {
            close();
            return configured;
        }
        setRts(rts);
        setDtr(dtr);
        return {};
    }

    void close() override {
        if (fd_ < 0)
            return;
        if (!gone_)
            ioctl(fd_, TIOCNXCL);
        ::close(fd_);
        fd_ = -1;
    }

    automation::Result<> setSpeed(int baud) override {
        if (fd_ < 0 || gone_)
            return {};
        return configure(baud);
    }

    void setRts(bool on) override { modemLine(TIOCM_RTS, on); }
    void setDtr(bool on) override { modemLine(TIOCM_DTR, on); }

    bool carrier() override {
        if (fd_ < 0 || gone_)
            return false;
        int lines = 0;
        if (ioctl(fd_, TIOCMGET, &lines) != 0) {
            gone_ = deviceGone(errno);
            return false;
        }
        return lines & TIOCM_CAR;
    }

    automation::Result<> write(QByteArrayView bytes) override {
        if (fd_ < 0 || gone_)
            return goneFailure();
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && deviceGone(errno)) {
                gone_ = true;
                return goneFailure();
            }
            if (n < 0 && errno != EAGAIN)
                return lineError(err::HardwareNotAvailable,
                                 QStringLiteral("cannot send to %1: %2")
                                     .arg(path_, QString::fromLocal8Bit(strerror(errno))));
            return lineError(
                err::HardwareNotAvailable,
                QStringLiteral("cannot send to %1: its transmit buffer is full").arg(path_));
        }
        return {};
    }

    bool present() const override { return fd_ >= 0 && !gone_; }

  private:
    automation::Error goneFailure() const {
        return lineError(err::HardwareNotAvailable,
                         QStringLiteral("%1 is no longer available (device removed)").arg(path_));
    }

    void modemLine(int bit, bool on) {
        if (fd_ < 0 || gone_)
            return;
        if (ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) != 0 && deviceGone(errno))
            gone_ = true;
    }

    automation::Result<> configure(int baud) {
        const speed_t speed = speedCode(baud);
        if (speed == B0)
            return lineError(err::SetCommStateFailed,
                             QStringLiteral("%1 bit/s is not a line speed").arg(baud));
        termios t{};
        if (tcgetattr(fd_, &t) != 0)
            return termiosFailure(baud);
        cfmakeraw(&t);
        t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
        t.c_cflag |= CS8 | CLOCAL | CREAD;
        t.c_iflag &= ~(IXON | IXOFF | IXANY);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
        if (tcsetattr(fd_, TCSANOW, &t) != 0)
            return termiosFailure(baud);
        return {};
    }

    automation::Error termiosFailure(int baud) {
        const int e = errno;
        if (deviceGone(e))
            gone_ = true;
        return lineError(err::SetCommStateFailed,
                         QStringLiteral("cannot set %1 to %2 bit/s, 8N1: %3")
                             .arg(path_)
                             .arg(baud)
                             .arg(QString::fromLocal8Bit(strerror(e))));
    }

    QString path_;
    int fd_ = -1;
    bool gone_ = false;
};

class DeviceTarget : public LineTarget {
  public:
    explicit DeviceTarget(const QString &path) : path_(path) {}
    QString describe() const override { return path_; }
    std::unique_ptr<LineBackend> line() const override {
        return std::make_unique<DeviceBackend>(path_);
    }

  private:
    QString path_;
};

} // namespace

automation::Error openFailure(int errnum, const QString &path) {
    switch (errnum) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case EIO:
        return lineError(err::InvalidPort, QStringLiteral("no such device: %1").arg(path));
    case EACCES:
    case EPERM:
        return lineError(
            err::HardwareNotAvailable,
            QStringLiteral("permission denied opening %1: the user must be in the dialout group "
                           "(sudo adduser $USER dialout, then log in again)")
                .arg(path));
    case EBUSY:
        return lineError(err::PortAlreadyOpen,
                         QStringLiteral("%1 is already in use by another program").arg(path));
    default:
        return lineError(err::HardwareNotAvailable,
                         QStringLiteral("cannot open %1: %2")
                             .arg(path, QString::fromLocal8Bit(strerror(errnum))));
    }
}

TargetResult readDeviceTarget(const QString &value) {
    return std::make_shared<DeviceTarget>(value);
}

} // namespace comm
