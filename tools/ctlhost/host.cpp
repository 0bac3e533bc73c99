#include "host.h"

#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>

#include "windowing/timers.h"

namespace ctlhost {

using namespace automation;
using windowing::HostedControl;

namespace {

const QString FormName = QStringLiteral("form");

QString describeArgs(const std::vector<Variant>& args)
{
    QStringList parts;
    for (const Variant& v : args)
        parts << v.describe();
    return parts.join(QStringLiteral(", "));
}

std::optional<qint64> milliseconds(const QString& text)
{
    bool ok = false;
    const qint64 ms = text.toLongLong(&ok);
    return ok && ms >= 0 ? std::optional<qint64>(ms) : std::nullopt;
}

} // namespace

Host::Host(QTextStream& out, bool manualClock) : out_(out), manualClock_(manualClock)
{
    form_.setWindowTitle(QStringLiteral("ctlhost"));
    form_.resize(480, 320);
    formObject_ = windowing::makeFormObject(&form_);
}

Host::~Host()
{
    // Controls go before the form they sit on.
    controls_.clear();
}

bool Host::scriptError(const QString& text)
{
    out_ << "error: line " << line_ << ": " << text << Qt::endl;
    return false;
}

bool Host::automationError(const Error& e)
{
    out_ << "error " << e.number << ": " << e.description;
    if (!e.source.isEmpty())
        out_ << " [" << e.source << "]";
    out_ << Qt::endl;
    return false;
}

bool Host::expectCount(const Words& w, size_t min, size_t max, const char* usage)
{
    if (w.size() >= min && w.size() <= max)
        return true;
    return scriptError(QStringLiteral("usage: %1").arg(QLatin1String(usage)));
}

HostedControl* Host::control(const QString& name)
{
    auto it = controls_.find(name);
    if (it == controls_.end()) {
        scriptError(QStringLiteral("no control named %1").arg(name));
        return nullptr;
    }
    return it->second.get();
}

std::optional<Host::Target> Host::target(const QString& name)
{
    if (name == FormName)
        return Target{name, formObject_};
    if (HostedControl* c = control(name))
        return Target{name, c->control()};
    return std::nullopt;
}

std::optional<DispId> Host::member(const Target& t, const Word& w)
{
    QString why;
    if (w.quoted) {
        scriptError(QStringLiteral("a member is a name or #dispid, not quoted text"));
        return std::nullopt;
    }
    if (w.prefix.startsWith(QLatin1Char('#'))) {
        auto id = parseDispId(w.prefix, &why);
        if (!id)
            scriptError(why);
        return id;
    }
    auto id = t.object->idOfName(w.prefix);
    if (!id)
        automationError(makeError(err::NoSuchMember, {}, QStringLiteral("%1.%2").arg(t.name, w.prefix)));
    return id;
}

QString Host::memberName(const Target& t, DispId id, InvokeKind kind) const
{
    const TypeInfo& info = t.object->typeInfo();
    if (const MemberInfo* m = info.find(id, kind))
        return m->name;
    for (const MemberInfo& m : info.members)
        if (m.id == id)
            return m.name;
    return QStringLiteral("#%1").arg(id);
}

std::optional<std::vector<Variant>> Host::arguments(const Words& words, size_t from)
{
    std::vector<Variant> args;
    const ObjectLookup objects = [this](const QString& name) -> DispatchPtr {
        if (name == FormName)
            return formObject_;
        auto it = controls_.find(name);
        return it == controls_.end() ? nullptr : DispatchPtr(it->second->control());
    };
    for (size_t i = from; i < words.size(); ++i) {
        QString why;
        auto v = parseArgument(words[i], objects, &why);
        if (!v) {
            scriptError(why);
            return std::nullopt;
        }
        args.push_back(*v);
    }
    return args;
}

void Host::onEvent(const QString& control, const QString& event, DispId id, std::vector<Variant>& args)
{
    out_ << "event " << control << '.' << event << " (#" << id << ")";
    if (!args.empty())
        out_ << " args: " << describeArgs(args);
    out_ << Qt::endl;
    // Event arguments are by reference: write back what the script asked for.
    auto c = replies_.find(control);
    if (c == replies_.end())
        return;
    auto e = c->second.find(id);
    if (e == c->second.end())
        return;
    for (const auto& [n, value] : e->second)
        if (n >= 1 && size_t(n) <= args.size())
            args[size_t(n) - 1] = value;
}

bool Host::execute(const QString& text, int lineNumber)
{
    line_ = lineNumber;
    const QString line = text.trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
        return true;
    const QString command = line.section(QRegularExpression(QStringLiteral("\\s+")), 0, 0);
    if (command == QLatin1String("echo")) {
        out_ << line.mid(4).trimmed() << Qt::endl;
        return true;
    }
    QString why;
    const auto words = splitWords(line, &why);
    if (!words)
        return scriptError(why);

    // Time passes only in these two; they must not run as a handler, or the
    // ticks falling due would be held back until they end.
    if (command == QLatin1String("wait"))
        return doWait(*words);
    if (command == QLatin1String("advance"))
        return doAdvance(*words);

    // Every other command runs as a handler of the form, as a program's
    // event handlers do: ticks that fall due meanwhile come after it.
    windowing::HandlerScope handler;
    if (command == QLatin1String("create"))
        return doCreate(*words);
    if (command == QLatin1String("destroy"))
        return doDestroy(*words);
    if (command == QLatin1String("call"))
        return doInvoke(*words, InvokeKind::Method);
    if (command == QLatin1String("get"))
        return doInvoke(*words, InvokeKind::PropertyGet);
    if (command == QLatin1String("put"))
        return doInvoke(*words, InvokeKind::PropertyPut);
    if (command == QLatin1String("save"))
        return doSave(*words);
    if (command == QLatin1String("load"))
        return doLoad(*words);
    if (command == QLatin1String("resize"))
        return doResize(*words);
    if (command == QLatin1String("reply"))
        return doReply(*words);
    if (command == QLatin1String("mode"))
        return doMode(*words);
    return scriptError(QStringLiteral("unknown command %1").arg(command));
}

bool Host::doCreate(const Words& w)
{
    if (!expectCount(w, 3, 4, "create <name> <ProgID|{CLSID}> [<bag file>]"))
        return false;
    const QString name = w[1].raw();
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (!identifier.match(name).hasMatch())
        return scriptError(QStringLiteral("%1 is not a control name (letters, digits, _)").arg(name));
    if (name == FormName || controls_.count(name))
        return scriptError(QStringLiteral("the name %1 is already taken").arg(name));

    std::optional<PropertyBag> bag;
    if (w.size() == 4) {
        const QString file = w[3].quoted ? w[3].text : w[3].raw();
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return scriptError(QStringLiteral("cannot read %1: %2").arg(file, f.errorString()));
        auto parsed = PropertyBag::fromText(f.readAll());
        if (!parsed)
            return scriptError(QStringLiteral("%1: %2").arg(file, parsed.error().description));
        bag = *parsed;
    }
    HostedControl::Options options;
    options.bag = bag ? &*bag : nullptr;
    options.userMode = userMode_;
    options.onEvent = [this, name](const QString& event, DispId id, std::vector<Variant>& args) {
        onEvent(name, event, id, args);
    };
    options.onPropertyChanged = [this, name](DispId id) {
        auto it = controls_.find(name);
        const QString prop = it == controls_.end()
            ? QStringLiteral("#%1").arg(id)
            : memberName(Target{name, it->second->control()}, id, InvokeKind::PropertyPut);
        out_ << "changed " << name << '.' << prop << " (#" << id << ")" << Qt::endl;
    };
    auto hosted = HostedControl::create(&form_, w[2].raw(), std::move(options));
    if (!hosted)
        return automationError(hosted.error());
    controls_[name] = std::move(*hosted);
    return true;
}

bool Host::doDestroy(const Words& w)
{
    if (!expectCount(w, 2, 2, "destroy <name>") || !control(w[1].raw()))
        return false;
    controls_.erase(w[1].raw());
    replies_.erase(w[1].raw());
    return true;
}

bool Host::doInvoke(const Words& w, InvokeKind kind)
{
    const char* usage = kind == InvokeKind::Method ? "call <name> <member|#dispid> [<argument> ...]"
        : kind == InvokeKind::PropertyGet          ? "get <name> <property|#dispid> [<index> ...]"
                                                   : "put <name> <property|#dispid> [<index> ...] <value>";
    const size_t min = kind == InvokeKind::PropertyPut ? 4 : 3;
    if (!expectCount(w, min, size_t(-1), usage))
        return false;
    auto t = target(w[1].raw());
    if (!t)
        return false;
    auto id = member(*t, w[2]);
    if (!id)
        return false;
    auto args = arguments(w, 3);
    if (!args)
        return false;
    const Result<> r = t->object->invoke(*id, kind, *args);
    if (!r.ok())
        return automationError(r.error());
    if (kind == InvokeKind::PropertyGet || (kind == InvokeKind::Method && !r.value().isEmpty()))
        out_ << t->name << '.' << memberName(*t, *id, kind) << " = " << r.value().describe() << Qt::endl;
    return true;
}

bool Host::doSave(const Words& w)
{
    if (!expectCount(w, 3, 3, "save <name> <file>"))
        return false;
    HostedControl* c = control(w[1].raw());
    if (!c)
        return false;
    PropertyBag bag;
    const Result<> r = c->save(bag);
    if (!r.ok())
        return automationError(r.error());
    const QString file = w[2].quoted ? w[2].text : w[2].raw();
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(bag.toText()) < 0 || !f.commit())
        return scriptError(QStringLiteral("cannot write %1: %2").arg(file, f.errorString()));
    return true;
}

bool Host::doLoad(const Words& w)
{
    if (!expectCount(w, 3, 3, "load <name> <file>"))
        return false;
    HostedControl* c = control(w[1].raw());
    if (!c)
        return false;
    const QString file = w[2].quoted ? w[2].text : w[2].raw();
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return scriptError(QStringLiteral("cannot read %1: %2").arg(file, f.errorString()));
    auto bag = PropertyBag::fromText(f.readAll());
    if (!bag)
        return scriptError(QStringLiteral("%1: %2").arg(file, bag.error().description));
    const Result<> r = c->load(*bag);
    return r.ok() || automationError(r.error());
}

bool Host::doResize(const Words& w)
{
    if (!expectCount(w, 4, 4, "resize <name> <width> <height> (twips)"))
        return false;
    HostedControl* c = control(w[1].raw());
    if (!c)
        return false;
    bool okW = false, okH = false;
    const int width = w[2].raw().toInt(&okW), height = w[3].raw().toInt(&okH);
    if (!okW || !okH || width < 0 || height < 0)
        return scriptError(QStringLiteral("width and height are whole twips, 0 or more"));
    const SizeTwips size = c->resize({width, height});
    out_ << w[1].raw() << " size = " << size.width << " x " << size.height << Qt::endl;
    return true;
}

bool Host::doReply(const Words& w)
{
    if (!expectCount(w, 5, 5, "reply <name> <event|#dispid> <argument number> <value>"))
        return false;
    const QString name = w[1].raw();
    HostedControl* c = control(name);
    if (!c)
        return false;
    QString why;
    std::optional<DispId> id;
    const TypeInfo* events = c->control()->eventInfo();
    if (w[2].raw().startsWith(QLatin1Char('#'))) {
        id = parseDispId(w[2].raw(), &why);
    } else if (events) {
        id = events->eventIdOfName(w[2].raw());
        why = QStringLiteral("%1 has no event %2").arg(name, w[2].raw());
    } else {
        why = QStringLiteral("%1 lists no events; name the event by #dispid").arg(name);
    }
    if (!id)
        return scriptError(why);
    bool ok = false;
    const int n = w[3].raw().toInt(&ok);
    const EventInfo* info = events ? events->findEvent(*id) : nullptr;
    if (!ok || n < 1 || (info && size_t(n) > info->params.size()))
        return scriptError(QStringLiteral("%1 is not an argument number of that event").arg(w[3].raw()));
    auto value = arguments(w, 4);
    if (!value)
        return false;
    replies_[name][*id][n] = value->front();
    return true;
}

bool Host::doWait(const Words& w)
{
    if (!expectCount(w, 2, 2, "wait <ms>"))
        return false;
    const auto ms = milliseconds(w[1].raw());
    if (!ms)
        return scriptError(QStringLiteral("%1 is not a number of milliseconds").arg(w[1].raw()));
    QEventLoop loop;
    QTimer::singleShot(std::chrono::milliseconds(*ms), &loop, &QEventLoop::quit);
    loop.exec();
    return true;
}

bool Host::doAdvance(const Words& w)
{
    if (!expectCount(w, 2, 2, "advance <ms>"))
        return false;
    if (!manualClock_)
        return scriptError(QStringLiteral("advance needs the manual clock (--manual-clock); use wait for real time"));
    const auto ms = milliseconds(w[1].raw());
    if (!ms)
        return scriptError(QStringLiteral("%1 is not a number of milliseconds").arg(w[1].raw()));
    windowing::advanceClock(*ms);
    return true;
}

bool Host::doMode(const Words& w)
{
    if (!expectCount(w, 2, 2, "mode run|design"))
        return false;
    const QString m = w[1].raw();
    if (m != QLatin1String("run") && m != QLatin1String("design"))
        return scriptError(QStringLiteral("mode is run or design, not %1").arg(m));
    userMode_ = m == QLatin1String("run");
    for (auto& [name, c] : controls_)
        c->site().setUserMode(userMode_);
    return true;
}

} // namespace ctlhost
