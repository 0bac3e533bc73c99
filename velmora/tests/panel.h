// Test support for the panel: a private world per test process (registry,
// home, runtime and working folders, comm mapping, manual clock), a fresh
// working folder and amplifier per test, scripted message boxes, and readers
// for what the test doubles and the simulated amplifier recorded.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <memory>

#include "comm/simulator.h"
#include "mainwindow.h"
#include "windowing/messagebox.h"

namespace paneltest {

// The registry holding the comm library and the doubles (the default), or
// one holding only the comm library.
QString fullRegistry();
QString commOnlyRegistry();
// A registry where MSCommLib.MSComm is the refusing double.
QString refusingCommRegistry();

// Writes `bytes` to nastr.dat in the working folder.
void writeSettingsFile(const QByteArray& bytes);
QByteArray settingsFileBytes();
bool settingsFileExists();

comm::SimulatedAmplifier& amp(const char* name = "default");

// The words the amplifier received, element 1 first, "10000000" style.
QStringList words(const char* name = "default");

// What a double recorded, one call a line.
QStringList calls(velmora::Component& c);
void clearCalls(velmora::Component& c);

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the main window and runs its load step.
    velmora::Velmora& load();
    // load(), then 150 ms: the first poll has run and the all-False word
    // that follows the load (and ends the bit the port's opening clocked in)
    // is sent; the amplifier's word log is cleared.
    velmora::Velmora& start();
    // Advances the test clock.
    void advance(std::int64_t ms);
    // Destroys windows that were unloaded (deleteLater).
    static void processDeletes();

    // Message boxes: each is recorded; Yes/No questions get the next scripted
    // answer, or `otherwise` when the script is used up.
    std::deque<windowing::Answer> answers;
    windowing::Answer otherwise = windowing::Answer::No;
    std::vector<windowing::MessageRequest> boxes;
    int countBoxes(const QString& text) const;

    QPointer<velmora::Velmora> panel;

private:
    std::unique_ptr<QTemporaryDir> work_;
    QString oldDir_;
};

} // namespace paneltest
