// velmora: the remote-control panel of the Velmora valve amplifier.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "program.h"
#include "windowing/messagebox.h"

int main(int argc, char **argv) {
    QApplication app(argc, argv);
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
