// velmora: the remote-control panel of the Velmora valve amplifier.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <cstring>

#include "desktopstyle.h"
#include "program.h"
#include "windowing/messagebox.h"

namespace {

const char Help[] = "Usage: velmora\n"
                    "The remote-control panel of the Velmora valve amplifier on a serial port.\n"
                    "It keeps its settings in nastr.dat in the folder it is started from; the\n"
                    "serial ports are mapped in ~/.config/velmora/comm.conf.\n"
                    "\n"
                    "  --help     this text\n"
                    "  --version  the version\n"
                    "\n"
                    "Other arguments are Qt's own (such as -session or -platform).\n";

} // namespace

int main(int argc, char **argv) {
    // --help and --version, each as the only argument, are answered before Qt
    // starts, so they need no display. Everything else is Qt's (a session
    // manager passes -session); the panel reads no command line of its own.
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0)
        return std::fputs(Help, stdout) < 0;
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0)
        return std::printf("Velmora Version %s\n", VELMORA_VERSION) < 0;
    QApplication app(argc, argv);
    velmora::useDesktopStyle();
    QApplication::setApplicationName(QStringLiteral("velmora"));
    // Ties the windows to the menu entry (its name and icon) where the desktop asks.
    QGuiApplication::setDesktopFileName(QStringLiteral("velmora"));
    windowing::setProgramTitle(QStringLiteral("Velmora"));
    // Qt's own texts (the Yes and No of the questions) in the desktop's language.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale::system(),
                     QStringLiteral("qtbase"),
                     QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    return velmora::runProgram(app);
}
