// Test support for the panel: a private world per process (registries, home,
// runtime folder, manual clock), a fresh working folder and amplifiers per
// test, scripted message boxes, and what a user or a peer of the panel sees,
// written as one line of tokens (see PanelTest::step).
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>

#include "comm/simulator.h"
#include "mainwindow.h"
#include "windowing/messagebox.h"

namespace paneltest {

// The control registries: "full" (serial port, icon and balloon doubles),
// "comm" (the serial port alone), "double" (all three doubles).
void useRegistry(const char* name);
comm::SimulatedAmplifier& amp(const char* name = "default");
void writeSettingsFile(const QByteArray& bytes);
QByteArray settingsFileBytes();
// The calls the doubles recorded, one a line ("Tray.DeleteFromTray()").
QStringList record();
void clearRecord();
template <class W = QWidget> W* window(const char* objectName = nullptr)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<W*>(w); found && (!objectName || w->objectName() == QLatin1String(objectName)))
            return found;
    return nullptr;
}

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Does `action` and returns what is seen then, as tokens (see seen()):
    //   load  +<ms>  key[:<amp>]  stubborn  unplug[:<amp>]  replug[:<amp>]  file:<bytes>
    //   map:<port mapping>  registry:<name>  dblclick:<button>  <button or menu entry>[:yes|:no]
    QString step(const QString& action);
    // Runs the steps {action, expected} and compares each.
    void run(const std::vector<std::pair<QString, QString>>& steps);

    std::deque<windowing::Answer> answers;
    std::vector<windowing::MessageRequest> boxes;
    QPointer<velmora::Velmora> panel;
    std::unique_ptr<QObject> scope_;   // connections that end with the test

private:
    QString seen();
    std::unique_ptr<QTemporaryDir> work_;
    std::size_t boxesSeen_ = 0;
};

} // namespace paneltest
