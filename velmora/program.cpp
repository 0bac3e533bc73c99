#include "program.h"

#include <QApplication>

#include "forms.h"
#include "mainwindow.h"
#include "panelbus.h"

namespace velmora {

int runProgram(QApplication &app) {
    // Closing a dialog or a message box while the main window hides behind
    // its icon must not end the program; only unloading every window does.
    app.setQuitOnLastWindowClosed(false);

    auto *main = new Velmora;
    if (!main->load()) {
        delete main;
        return 0;
    }
    Forms::instance().track(main);
    // Only the instance that goes on offers itself on the session bus, until
    // the program ends.
    const std::unique_ptr<PanelBus> bus = PanelBus::offer(&main->panel());
    const auto ended = QObject::connect(&Forms::instance(),
                                        &Forms::allUnloaded,
                                        &app,
                                        &QCoreApplication::quit,
                                        Qt::QueuedConnection);
    app.setWindowIcon(main->windowIcon());
    // Shown after the load step, although the load step asked the icon to hide it.
    main->show();
    const int code = app.exec();
    QObject::disconnect(ended);
    return code;
}

} // namespace velmora
