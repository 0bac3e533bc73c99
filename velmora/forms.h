// The program's windows that are loaded (created and not yet destroyed). The
// program lives while any of them is loaded, whether shown or hidden: the main
// window hidden behind its icon, or the settings dialog left open after the
// main window was unloaded, keep it running.
#pragma once

#include <QObject>

class QWidget;

namespace velmora {

class Forms : public QObject {
    Q_OBJECT
  public:
    static Forms &instance();

    // Counts `form` as loaded until it is destroyed.
    void track(QWidget *form);
    int loaded() const { return loaded_; }

  signals:
    // The last loaded window was destroyed.
    void allUnloaded();

  private:
    Forms() = default;
    int loaded_ = 0;
};

} // namespace velmora
