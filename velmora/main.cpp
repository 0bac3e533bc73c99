// velmora: the remote-control panel of the Velmora valve amplifier.
#include <QApplication>

#include "program.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmora"));
    return velmora::runProgram(app);
}
