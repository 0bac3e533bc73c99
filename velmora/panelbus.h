// The running panel's commands and state on the user's session bus: the
// interface org.velmora.Panel (dbus/org.velmora.Panel.xml, the adaptor is
// generated from it) on the object /org/velmora/Panel, under the name
// org.velmora.Panel.
//
// Each method runs the panel's handler of the control it stands for, as one
// handler of the program, and puts the same words on the line as a click; it
// never asks anything. A refusal is an error org.velmora.Panel.Error.<Why>
// whose message names the port and the reason; once "Выход" is confirmed,
// every call gets org.velmora.Panel.Error.Closing until the process ends. The properties are the
// panel's values; PropertiesChanged is sent once a handler that changed any of them has ended (the
// poll, the watchdog, each method), only for what changed.
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QPointer>
#include <memory>

#include "automation/result.h"

namespace velmora {

class Panel;

class PanelBus : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_PROPERTY(bool Powered READ powered)
    Q_PROPERTY(QString State READ state)
    Q_PROPERTY(uint WarmUpRemaining READ warmUpRemaining)
    Q_PROPERTY(QString Port READ port)
    Q_PROPERTY(bool PortOpen READ portOpen)
    Q_PROPERTY(QString PortProblem READ portProblem)
  public:
    static const QString Service; // also the interface's name
    static const QString Path;

    // Offers `panel` on the session bus. Without a session bus, or with the
    // name owned already, the panel goes on without it: a note on stderr, and
    // null. The offer outlives the panel, refusing every call once it is
    // closing; destroyed (when the program ends), it gives up the name first,
    // answers the calls that came before, and only then the object.
    static std::unique_ptr<PanelBus> offer(Panel *panel);
    ~PanelBus() override;

    bool powered() const { return shown_.powered; }
    QString state() const { return shown_.state; }
    uint warmUpRemaining() const { return shown_.warmUpRemaining; }
    QString port() const { return shown_.port; }
    bool portOpen() const { return shown_.portOpen; }
    QString portProblem() const { return shown_.portProblem; }

  public slots:
    void PowerOn();
    void PowerOff();
    void SetStandby(bool on);
    void SelectInput(int input);
    void Show();
    void Quit();

  private:
    struct Snapshot {
        bool powered = false;
        QString state;
        uint warmUpRemaining = 0;
        int portNumber = 0;
        QString port;
        bool portOpen = false;
        QString portProblem;
    };

    PanelBus(Panel *panel, QDBusConnection bus);
    Snapshot read() const;
    // Sends PropertiesChanged for what differs from the last state sent.
    void refresh();
    // Runs a method's steps as a handler of the panel; a failure becomes the
    // call's error reply.
    void command(const std::function<automation::Result<>()> &steps);
    // Fails, naming the port, when no word can be sent.
    automation::Result<> portReady() const;

    QPointer<Panel> panel_; // null once the main window is gone
    QDBusConnection bus_;
    Snapshot shown_;
    bool offered_ = false; // the name and the object are this one's
};

} // namespace velmora
