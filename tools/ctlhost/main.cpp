// ctlhost: a scriptable control container. It creates controls by ProgID on a
// hidden form, calls them by name or dispatch id, prints their events, and
// saves and loads their property bags; see docs/controls.md for the commands.
//
//   ctlhost [--keep-going] [--manual-clock] [<script> | -]
#include <QApplication>
#include <QFile>
#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host.h"
#include "windowing/timers.h"

namespace {

// Named as it was started: ctlhost in a build tree, velmora-ctlhost installed.
QString usage() {
    return QStringLiteral(
               "usage: %1 [--keep-going] [--manual-clock] [<script> | -]\n"
               "  Runs a control script from the file, or from standard input.\n"
               "  --keep-going    run the rest of the script after a failed command\n"
               "  --manual-clock  timers run on a clock moved only by 'advance <ms>'\n"
               "  Exit status: 0 all commands succeeded, 1 a command failed, 2 bad usage.\n")
        .arg(QCoreApplication::applicationName());
}

} // namespace

int main(int argc, char **argv) {
    // A hidden form needs no screen: without one, run offscreen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);

    QTextStream err(stderr);
    const QString self = QCoreApplication::applicationName();
    bool keepGoing = false, manualClock = false;
    QString script;
    for (const QString &a : app.arguments().mid(1)) {
        if (a == QLatin1String("--keep-going") || a == QLatin1String("-k")) {
            keepGoing = true;
        } else if (a == QLatin1String("--manual-clock")) {
            manualClock = true;
        } else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            QTextStream(stdout) << usage();
            return 0;
        } else if (a.startsWith(QLatin1Char('-')) && a != QLatin1String("-")) {
            err << self << ": unknown option " << a << "\n" << usage();
            return 2;
        } else if (!script.isEmpty()) {
            err << self << ": one script at a time\n" << usage();
            return 2;
        } else {
            script = a;
        }
    }

    FILE *input = stdin;
    if (!script.isEmpty() && script != QLatin1String("-")) {
        input = std::fopen(QFile::encodeName(script).constData(), "r");
        if (!input) {
            err << self << ": cannot read " << script << ": "
                << QString::fromLocal8Bit(std::strerror(errno)) << Qt::endl;
            return 2;
        }
    }
    if (manualClock)
        windowing::useManualClock();

    QTextStream out(stdout);
    out.setEncoding(QStringConverter::Utf8);
    bool failed = false;
    {
        ctlhost::Host host(out, manualClock);
        int number = 0;
        char *buffer = nullptr;
        size_t capacity = 0;
        // Line by line, so that an interactive session sees each answer at once.
        ssize_t length = 0;
        while ((length = getline(&buffer, &capacity, input)) >= 0) {
            // By length: a NUL byte in the line is kept, for the host to report.
            QString line = QString::fromUtf8(buffer, length);
            while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
                line.chop(1);
            if (!host.execute(line, ++number)) {
                failed = true;
                if (!keepGoing)
                    break;
            }
        }
        std::free(buffer);
    }
    const bool readFailed = std::ferror(input);
    const int readErrno = errno;
    if (input != stdin)
        std::fclose(input);
    out.flush();
    if (readFailed) {
        err << self << ": cannot read "
            << (input == stdin ? QStringLiteral("standard input") : script) << ": "
            << QString::fromLocal8Bit(std::strerror(readErrno)) << Qt::endl;
        return 2;
    }
    return failed ? 1 : 0;
}
