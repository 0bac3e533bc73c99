// The container ctlhost runs scripts in: a hidden form, the controls created
// on it by name, and one handler per script command.
#pragma once

#include <QTextStream>
#include <QWidget>
#include <map>
#include <memory>

#include "script.h"
#include "windowing/formsite.h"

namespace ctlhost {

class Host {
  public:
    Host(QTextStream &out, bool manualClock);
    ~Host();

    // Runs one script line (numbered from 1, for messages) and prints what it
    // produced, its error included; false when the command failed. Blank
    // lines and # comments succeed.
    bool execute(const QString &line, int lineNumber);

  private:
    using Words = std::vector<Word>;
    // A command's outcome: nothing, or the error to print.
    using Done = automation::Result<>;
    struct Target {
        QString name;
        automation::DispatchPtr object;
    };

    Done run(const QString &line);
    // Prints one line of output, control characters escaped.
    void print(const QString &line);
    automation::Result<Target> target(const QString &name);
    automation::Result<automation::DispId> member(const Target &t, const Word &w);
    QString memberName(const Target &t, automation::DispId id, automation::InvokeKind kind) const;
    automation::Result<std::vector<automation::Variant>> arguments(const Words &words, size_t from);
    automation::Result<windowing::HostedControl *> control(const QString &name);
    void onEvent(const QString &control, const QString &event, automation::DispId id,
                 std::vector<automation::Variant> &args);

    Done doCreate(const Words &w);
    Done doDestroy(const Words &w);
    Done doInvoke(const Words &w, automation::InvokeKind kind);
    Done doSave(const Words &w);
    Done doLoad(const Words &w);
    Done doResize(const Words &w);
    Done doReply(const Words &w);
    Done doWait(const Words &w);
    Done doAdvance(const Words &w);
    Done doMode(const Words &w);
    Done doPost(const Words &w);
    Done doSnapshot(const Words &w);

    QTextStream &out_;
    bool manualClock_;
    bool userMode_ = true;
    QWidget form_;
    automation::DispatchPtr formObject_;
    std::map<QString, std::unique_ptr<windowing::HostedControl>> controls_;
    // control -> event id -> argument number (from 1) -> value written back
    std::map<QString, std::map<automation::DispId, std::map<int, automation::Variant>>> replies_;
};

} // namespace ctlhost
