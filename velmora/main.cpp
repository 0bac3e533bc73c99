// velmora: the remote-control panel of the Velmora valve amplifier.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "program.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // The program's name, the title of its message boxes (the display name,
    // which follows it). A display name of its own would be appended to every
    // window title on X11 ("... — Velmora").
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    // Qt's own texts (the Yes and No of the questions) in the desktop's language.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    return velmora::runProgram(app);
}
