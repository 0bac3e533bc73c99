// How fast a command word goes out, on a pseudo-terminal whose modem lines the
// shim emulates: (a) the bare modem-control requests, the floor, and (b) the
// serial-port control created by ProgID and driven through the automation
// runtime by dispatch id, as the program drives it. Prints microseconds and
// modem requests per word and the ratio. Exit status 1 when a word does not
// take exactly 24 requests plus one per set bit. Run it with `ninja bench`: it
// needs the test set-up (the modem shim preloaded, a private port mapping).
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "automation/server.h"
#include "comm/testing.h"

using automation::InvokeKind;
using automation::Variant;

namespace {

constexpr int Words = 1000;
constexpr int Rounds = 7;

// The words of a power-on attempt, a standby key and an input selection, in turn.
const std::array<std::uint8_t, 8> Patterns = {0x01, 0x00, 0x00, 0x08, 0x00, 0x20, 0x00, 0x10};

int setBits()
{
    int n = 0;
    for (int w = 0; w < Words; ++w)
        n += __builtin_popcount(Patterns[w % Patterns.size()]);
    return n;
}

double elapsedUs(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - since).count();
}

// (a) The floor: the requests of each word straight on the descriptor.
double bareLoop(int fd)
{
    const int rts = TIOCM_RTS, dtr = TIOCM_DTR;
    const auto start = std::chrono::steady_clock::now();
    for (int w = 0; w < Words; ++w) {
        const std::uint8_t word = Patterns[w % Patterns.size()];
        for (int i = 0; i < 8; ++i) {
            ioctl(fd, TIOCMBIC, &rts);
            ioctl(fd, TIOCMBIC, &dtr);
            if (word >> i & 1)
                ioctl(fd, TIOCMBIS, &rts);
            ioctl(fd, TIOCMBIS, &dtr);
        }
        if (write(fd, "0", 1) != 1)
            std::abort();
    }
    return elapsedUs(start);
}

// (b) The control, by dispatch id: RTSEnable 22, DTREnable 9, Output 25.
double controlLoop(automation::IControl& c)
{
    // A request that fails would make the figures meaningless: stop at once.
    const auto put = [&c](automation::DispId id, Variant value) {
        std::vector<Variant> args{std::move(value)};
        if (!c.invoke(id, InvokeKind::PropertyPut, args).ok())
            std::abort();
    };
    const auto start = std::chrono::steady_clock::now();
    for (int w = 0; w < Words; ++w) {
        const std::uint8_t word = Patterns[w % Patterns.size()];
        for (int i = 0; i < 8; ++i) {
            put(22, Variant::fromBool(false));
            put(9, Variant::fromBool(false));
            if (word >> i & 1)
                put(22, Variant::fromBool(true));
            put(9, Variant::fromBool(true));
        }
        put(25, Variant("0"));
    }
    return elapsedUs(start);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main()
{
    namespace testing = comm::testing;
    // A private registry holding the control library, and COM1 on a pty.
    QTemporaryDir registry;
    qputenv("VELMORA_REGISTRY", QFile::encodeName(registry.path()));
    const auto lib = automation::loadLibrary(QStringLiteral(VELMORA_COMM_LIB));
    const automation::Result<> registered = lib ? lib->registerServer() : automation::Result<>(lib.error());
    if (!registered) {
        std::fprintf(stderr, "comm_bench: cannot register %s: %s\n", VELMORA_COMM_LIB, qPrintable(registered.error().description));
        return 2;
    }
    // COM1 on a pseudo-terminal, without a line trace.
    testing::Pty pty;
    testing::writeConfig(QStringLiteral("COM1 = %1\n").arg(pty.slavePath()));
    const auto created = automation::createObject(QStringLiteral("MSCommLib.MSComm"));
    if (!created) {
        std::fprintf(stderr, "comm_bench: %s\n", qPrintable(created.error().description));
        return 2;
    }
    const automation::ControlPtr control = *created;
    auto opened = control->put(23, Variant("2400,N,8,1"));
    if (opened.ok())
        opened = control->put(20, Variant::fromBool(true));
    if (!opened.ok()) {
        std::fprintf(stderr, "comm_bench: %s\n", qPrintable(opened.error().description));
        return 2;
    }
    // The floor writes through a descriptor of its own, opened as the control opens.
    const int fd = ::open(QFile::encodeName(pty.slavePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        std::perror("comm_bench: open");
        return 2;
    }

    std::vector<double> bare, ctl;
    std::size_t bareRequests = 0, ctlRequests = 0;
    for (int round = 0; round < Rounds; ++round) {
        modemshim_clear();
        bare.push_back(bareLoop(fd));
        bareRequests = modemshim_count();
        pty.read();
        modemshim_clear();
        ctl.push_back(controlLoop(*control));
        ctlRequests = modemshim_count();
        pty.read();
    }
    ::close(fd);

    const double expected = 24.0 + double(setBits()) / Words;
    const double floorUs = median(bare) / Words, ctlUs = median(ctl) / Words;
    std::printf("%d words (median of %d rounds), modem lines emulated on a pty\n", Words, Rounds);
    std::printf("  (a) bare ioctl loop:          %8.2f us/word  %6.2f requests/word\n", floorUs, double(bareRequests) / Words);
    std::printf("  (b) control through dispids:  %8.2f us/word  %6.2f requests/word\n", ctlUs, double(ctlRequests) / Words);
    std::printf("  ratio (b)/(a): %.2f (goal: at most 1.25; timings are noisy on a shared machine)\n", ctlUs / floorUs);
    const bool gate = ctlRequests == bareRequests && double(ctlRequests) / Words == expected;
    std::printf("  requests per word: expected 24 + %.2f set bits = %.2f: %s\n", expected - 24, expected,
                gate ? "ok" : "MISMATCH");
    return gate ? 0 : 1;
}
