// Test support for the panel: a private world per process (registries, home,
// runtime folder, manual clock), a fresh working folder and amplifiers per
// test, scripted message boxes, and what a user or a peer sees (see step()).
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QTemporaryDir>

#include "mainwindow.h"
#include "simulator/amplifier.h"
#include "windowing/messagebox.h"

// Failures show texts as text.
inline void PrintTo(const QString &s, std::ostream *os) {
    *os << s.toStdString();
}

namespace paneltest {

// The rows of a case table in this folder (<name>.txt, panel_test.cpp): a line a row, its fields
// split at "|", blanks around them dropped; "#" starts a comment line; "\r\n" written out stands
// for CR LF.
std::vector<QStringList> table(const char *name);
// A row's first field names its test.
inline std::string rowName(const ::testing::TestParamInfo<QStringList> &row) {
    return row.param.value(0).toStdString();
}

simulator::SimulatedAmplifier &amp(const char *name = "default");
QByteArray settingsFileBytes();
// The doubles (doubles.cpp): what they were asked since the last call, as their tokens; an event of
// the icon.
QString takeRecord();
void raiseTrayEvent(int id, std::vector<automation::Variant> args);
template <class W> W *window() {
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *found = qobject_cast<W *>(w))
            return found;
    return nullptr;
}

class PanelTest : public ::testing::Test {
  public:
    void SetUp() override;
    void TearDown() override;
    // Does the action and returns what is seen then (see seen() in panel.cpp):
    //   load  +<ms>  key[:<amp>]  stubborn  unplug[:<amp>]  replug[:<amp>]  file:<bytes>  map:<port
    //   mapping>  registry:full|comm|double|lumora (the real icon control)  dblclick:<button>
    //   host:on|off (a tray host on the bus; on at the start)  <button or menu entry>[:yes] (the
    //   next question's answer; No otherwise)
    QString step(const QString &action);
    // Runs {action, what is seen after it} steps, comparing each.
    void run(const std::vector<std::pair<QString, QString>> &steps);

    std::vector<windowing::MessageRequest> boxes;
    QPointer<velmora::Velmora> panel;
    std::unique_ptr<QObject> scope_; // connections that end with the test

  private:
    QString seen();
    std::unique_ptr<QTemporaryDir> work_;
    std::size_t boxesSeen_ = 0;
    windowing::Answer answer_ = windowing::Answer::No;
};

} // namespace paneltest
