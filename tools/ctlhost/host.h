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
    Host(QTextStream& out, bool manualClock);
    ~Host();

    // Runs one script line (numbered from 1, for messages); false when the
    // command failed. Blank lines and # comments succeed.
    bool execute(const QString& line, int lineNumber);

private:
    using Words = std::vector<Word>;
    struct Target {
        QString name;
        automation::DispatchPtr object;
    };

    bool scriptError(const QString& text);
    bool automationError(const automation::Error& e);
    std::optional<Target> target(const QString& name);
    std::optional<automation::DispId> member(const Target& t, const Word& w);
    QString memberName(const Target& t, automation::DispId id, automation::InvokeKind kind) const;
    std::optional<std::vector<automation::Variant>> arguments(const Words& words, size_t from);
    windowing::HostedControl* control(const QString& name);
    bool expectCount(const Words& w, size_t min, size_t max, const char* usage);
    void onEvent(const QString& control, const QString& event, automation::DispId id, std::vector<automation::Variant>& args);

    bool doCreate(const Words& w);
    bool doDestroy(const Words& w);
    bool doInvoke(const Words& w, automation::InvokeKind kind);
    bool doSave(const Words& w);
    bool doLoad(const Words& w);
    bool doResize(const Words& w);
    bool doReply(const Words& w);
    bool doWait(const Words& w);
    bool doAdvance(const Words& w);
    bool doMode(const Words& w);

    QTextStream& out_;
    bool manualClock_;
    bool userMode_ = true;
    int line_ = 0;
    QWidget form_;
    automation::DispatchPtr formObject_;
    std::map<QString, std::unique_ptr<windowing::HostedControl>> controls_;
    // control -> event id -> argument number (from 1) -> value written back
    std::map<QString, std::map<automation::DispId, std::map<int, automation::Variant>>> replies_;
};

} // namespace ctlhost
