#include "host.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QImage>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>

#include "../common/log.h"
#include "automation/escape.h"
#include "windowing/handles.h"
#include "windowing/timers.h"

namespace ctlhost {

using namespace automation;
using windowing::HostedControl;

namespace {

const QString FormName = QStringLiteral("form");

QString describeArgs(const std::vector<Variant> &args) {
    QStringList parts;
    for (const Variant &v : args)
        parts << v.describe();
    return parts.join(QStringLiteral(", "));
}

Result<qint64> milliseconds(const Word &w) {
    bool ok = false;
    const qint64 ms = w.raw().toLongLong(&ok);
    if (!ok || ms < 0)
        return mistake(QStringLiteral("%1 is not a number of milliseconds").arg(w.raw()));
    return ms;
}

Result<> expectCount(const std::vector<Word> &w, size_t min, size_t max, const char *usage) {
    if (w.size() >= min && w.size() <= max)
        return {};
    return mistake(QStringLiteral("usage: %1").arg(QLatin1String(usage)));
}

// A file named by a word: the quoted text, or the word as written.
QString fileName(const Word &w) {
    return w.quoted ? w.text : w.raw();
}

// A bag is a few hundred bytes; anything much larger is not one.
constexpr qint64 MaxBagSize = 1024 * 1024;

Result<PropertyBag> readBag(const QString &file) {
    auto bag = PropertyBag::fromText(TRY(readInputFile(file, MaxBagSize)));
    if (!bag)
        return mistake(QStringLiteral("%1: %2").arg(file, bag.error().description));
    return *bag;
}

} // namespace

Host::Host(QTextStream &out, bool manualClock) : out_(out), manualClock_(manualClock) {
    form_.setWindowTitle(QStringLiteral("ctlhost"));
    form_.resize(480, 320);
    formObject_ = windowing::makeFormObject(&form_);
}

Host::~Host() {
    // Controls go before the form they sit on.
    controls_.clear();
}

void Host::print(const QString &line) {
    out_ << quoting::escape(line, quoting::Form::ControlsOnly) << Qt::endl;
}

Result<HostedControl *> Host::control(const QString &name) {
    auto it = controls_.find(name);
    if (it == controls_.end())
        return mistake(QStringLiteral("no control named %1").arg(name));
    return it->second.get();
}

Result<Host::Target> Host::target(const QString &name) {
    if (name == FormName)
        return Target{name, formObject_};
    HostedControl *c = TRY(control(name));
    return Target{name, c->control()};
}

Result<DispId> Host::member(const Target &t, const Word &w) {
    if (w.quoted)
        return mistake(QStringLiteral("a member is a name or #dispid, not quoted text"));
    if (w.prefix.startsWith(QLatin1Char('#')))
        return parseDispId(w.prefix);
    if (auto id = t.object->idOfName(w.prefix))
        return *id;
    return makeError(err::NoSuchMember, {}, QStringLiteral("%1.%2").arg(t.name, w.prefix));
}

QString Host::memberName(const Target &t, DispId id, InvokeKind kind) const {
    const TypeInfo &info = t.object->typeInfo();
    if (const MemberInfo *m = info.find(id, kind))
        return m->name;
    for (const MemberInfo &m : info.members)
        if (m.id == id)
            return m.name;
    return QStringLiteral("#%1").arg(id);
}

Result<std::vector<Variant>> Host::arguments(const Words &words, size_t from) {
    std::vector<Variant> args;
    const ObjectLookup objects = [this](const QString &name) -> DispatchPtr {
        if (name == FormName)
            return formObject_;
        auto it = controls_.find(name);
        return it == controls_.end() ? nullptr : DispatchPtr(it->second->control());
    };
    for (size_t i = from; i < words.size(); ++i)
        args.push_back(TRY(parseArgument(words[i], objects)));
    return args;
}

void Host::onEvent(const QString &control, const QString &event, DispId id,
                   std::vector<Variant> &args) {
    print(QStringLiteral("event %1.%2 (#%3)%4")
              .arg(control, event)
              .arg(id)
              .arg(args.empty() ? QString() : QStringLiteral(" args: ") + describeArgs(args)));
    // Event arguments are by reference: write back what the script asked for.
    auto c = replies_.find(control);
    if (c == replies_.end())
        return;
    auto e = c->second.find(id);
    if (e == c->second.end())
        return;
    for (const auto &[n, value] : e->second) {
        if (n >= 1 && size_t(n) <= args.size()) {
            qCDebug(toolsLog) << "writing" << value.describe() << "into argument" << n << "of"
                              << control << event;
            args[size_t(n) - 1] = value;
        }
    }
}

bool Host::execute(const QString &text, int lineNumber) {
    qCDebug(toolsLog).noquote() << "line" << lineNumber
                                << quoting::escape(text, quoting::Form::ControlsOnly);
    const Done done = run(text);
    if (done.ok())
        return true;
    const Error &e = done.error();
    if (e.number == ScriptMistake)
        print(QStringLiteral("error: line %1: %2").arg(lineNumber).arg(e.description));
    else
        print(QStringLiteral("error %1: %2%3")
                  .arg(e.number)
                  .arg(e.description,
                       e.source.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(e.source)));
    return false;
}

Host::Done Host::run(const QString &text) {
    // A NUL would cut the line short wherever text is handled as C strings.
    if (const qsizetype nul = text.indexOf(QChar(0)); nul >= 0)
        return mistake(QStringLiteral("a NUL byte at column %1").arg(nul + 1));
    const QString line = text.trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
        return {};
    const QString command = line.section(QRegularExpression(QStringLiteral("\\s+")), 0, 0);
    if (command == QLatin1String("echo")) {
        print(line.mid(4).trimmed());
        return {};
    }
    const Words words = TRY(splitWords(line));

    // Time passes and the event loop runs (delivering posted mouse messages)
    // only in these two; they must not run as a handler, or the ticks falling
    // due would be held back until they end.
    if (command == QLatin1String("wait"))
        return doWait(words);
    if (command == QLatin1String("advance"))
        return doAdvance(words);

    // Every other command runs as a handler of the form, as a program's
    // event handlers do: ticks that fall due meanwhile come after it.
    windowing::HandlerScope handler;
    if (command == QLatin1String("create"))
        return doCreate(words);
    if (command == QLatin1String("destroy"))
        return doDestroy(words);
    if (command == QLatin1String("call"))
        return doInvoke(words, InvokeKind::Method);
    if (command == QLatin1String("get"))
        return doInvoke(words, InvokeKind::PropertyGet);
    if (command == QLatin1String("put"))
        return doInvoke(words, InvokeKind::PropertyPut);
    if (command == QLatin1String("save"))
        return doSave(words);
    if (command == QLatin1String("load"))
        return doLoad(words);
    if (command == QLatin1String("resize"))
        return doResize(words);
    if (command == QLatin1String("reply"))
        return doReply(words);
    if (command == QLatin1String("mode"))
        return doMode(words);
    if (command == QLatin1String("post"))
        return doPost(words);
    if (command == QLatin1String("snapshot"))
        return doSnapshot(words);
    return mistake(QStringLiteral("unknown command %1").arg(command));
}

Host::Done Host::doCreate(const Words &w) {
    TRY(expectCount(w, 3, 4, "create <name> <ProgID|{CLSID}> [<bag file>]"));
    const QString name = w[1].raw();
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (!identifier.match(name).hasMatch())
        return mistake(QStringLiteral("%1 is not a control name (letters, digits, _)").arg(name));
    if (name == FormName || controls_.count(name))
        return mistake(QStringLiteral("the name %1 is already taken").arg(name));

    std::optional<PropertyBag> bag;
    if (w.size() == 4)
        bag = TRY(readBag(fileName(w[3])));
    HostedControl::Options options;
    options.bag = bag ? &*bag : nullptr;
    options.userMode = userMode_;
    options.onEvent = [this, name](const QString &event, DispId id, std::vector<Variant> &args) {
        onEvent(name, event, id, args);
    };
    options.onPropertyChanged = [this, name](DispId id) {
        auto it = controls_.find(name);
        const QString prop =
            it == controls_.end()
                ? QStringLiteral("#%1").arg(id)
                : memberName(Target{name, it->second->control()}, id, InvokeKind::PropertyPut);
        print(QStringLiteral("changed %1.%2 (#%3)").arg(name, prop).arg(id));
    };
    auto hosted = HostedControl::create(&form_, w[2].raw(), std::move(options));
    if (!hosted)
        return hosted.error();
    controls_[name] = std::move(*hosted);
    return {};
}

Host::Done Host::doDestroy(const Words &w) {
    TRY(expectCount(w, 2, 2, "destroy <name>"));
    TRY(control(w[1].raw()));
    controls_.erase(w[1].raw());
    replies_.erase(w[1].raw());
    return {};
}

Host::Done Host::doInvoke(const Words &w, InvokeKind kind) {
    const char *usage = kind == InvokeKind::Method ? "call <name> <member|#dispid> [<argument> ...]"
                        : kind == InvokeKind::PropertyGet
                            ? "get <name> <property|#dispid> [<index> ...]"
                            : "put <name> <property|#dispid> [<index> ...] <value>";
    TRY(expectCount(w, kind == InvokeKind::PropertyPut ? 4 : 3, size_t(-1), usage));
    const Target t = TRY(target(w[1].raw()));
    const DispId id = TRY(member(t, w[2]));
    std::vector<Variant> args = TRY(arguments(w, 3));
    const Variant value = TRY(t.object->invoke(id, kind, args));
    if (kind == InvokeKind::PropertyGet || (kind == InvokeKind::Method && !value.isEmpty()))
        print(QStringLiteral("%1.%2 = %3").arg(t.name, memberName(t, id, kind), value.describe()));
    return {};
}

Host::Done Host::doSave(const Words &w) {
    TRY(expectCount(w, 3, 3, "save <name> <file>"));
    HostedControl *c = TRY(control(w[1].raw()));
    PropertyBag bag;
    TRY(c->save(bag));
    const QString file = fileName(w[2]);
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(bag.toText()) < 0 || !f.commit())
        return mistake(QStringLiteral("cannot write %1: %2").arg(file, f.errorString()));
    return {};
}

Host::Done Host::doLoad(const Words &w) {
    TRY(expectCount(w, 3, 3, "load <name> <file>"));
    HostedControl *c = TRY(control(w[1].raw()));
    const PropertyBag bag = TRY(readBag(fileName(w[2])));
    return c->load(bag);
}

Host::Done Host::doResize(const Words &w) {
    TRY(expectCount(w, 4, 4, "resize <name> <width> <height> (twips)"));
    HostedControl *c = TRY(control(w[1].raw()));
    bool okW = false, okH = false;
    const int width = w[2].raw().toInt(&okW), height = w[3].raw().toInt(&okH);
    if (!okW || !okH || width < 0 || height < 0)
        return mistake(QStringLiteral("width and height are whole twips, 0 or more"));
    const SizeTwips size = c->resize({width, height});
    print(QStringLiteral("%1 size = %2 x %3").arg(w[1].raw()).arg(size.width).arg(size.height));
    return {};
}

Host::Done Host::doReply(const Words &w) {
    TRY(expectCount(w, 5, 5, "reply <name> <event|#dispid> <argument number> <value>"));
    const QString name = w[1].raw();
    HostedControl *c = TRY(control(name));
    const TypeInfo *events = c->control()->eventInfo();
    DispId id = 0;
    if (w[2].raw().startsWith(QLatin1Char('#'))) {
        id = TRY(parseDispId(w[2].raw()));
    } else if (!events) {
        return mistake(QStringLiteral("%1 lists no events; name the event by #dispid").arg(name));
    } else if (auto named = events->eventIdOfName(w[2].raw())) {
        id = *named;
    } else {
        return mistake(QStringLiteral("%1 has no event %2").arg(name, w[2].raw()));
    }
    bool ok = false;
    const int n = w[3].raw().toInt(&ok);
    const EventInfo *info = events ? events->findEvent(id) : nullptr;
    if (!ok || n < 1 || (info && size_t(n) > info->params.size()))
        return mistake(
            QStringLiteral("%1 is not an argument number of that event").arg(w[3].raw()));
    const Variant value = TRY(arguments(w, 4)).front();
    replies_[name][id][n] = value;
    return {};
}

Host::Done Host::doWait(const Words &w) {
    TRY(expectCount(w, 2, 2, "wait <ms>"));
    const qint64 ms = TRY(milliseconds(w[1]));
    QEventLoop loop;
    QTimer::singleShot(std::chrono::milliseconds(ms), &loop, &QEventLoop::quit);
    loop.exec();
    return {};
}

Host::Done Host::doAdvance(const Words &w) {
    TRY(expectCount(w, 2, 2, "advance <ms>"));
    if (!manualClock_)
        return mistake(QStringLiteral(
            "advance needs the manual clock (--manual-clock); use wait for real time"));
    // What was posted before comes first, as it would have in a running loop.
    QCoreApplication::processEvents();
    windowing::advanceClock(TRY(milliseconds(w[1])));
    return {};
}

Host::Done Host::doMode(const Words &w) {
    TRY(expectCount(w, 2, 2, "mode run|design"));
    const QString m = w[1].raw();
    if (m != QLatin1String("run") && m != QLatin1String("design"))
        return mistake(QStringLiteral("mode is run or design, not %1").arg(m));
    userMode_ = m == QLatin1String("run");
    for (auto &[name, c] : controls_)
        c->site().setUserMode(userMode_);
    return {};
}

// Posts to the control's message window as the shell does: x carries the
// message number, no button or shift state.
Host::Done Host::doPost(const Words &w) {
    TRY(expectCount(w, 3, 4, "post <name> <x> [<y>] (pixels: x is the message number)"));
    HostedControl *c = TRY(control(w[1].raw()));
    bool okX = false, okY = true;
    const int x = w[2].raw().toInt(&okX), y = w.size() == 4 ? w[3].raw().toInt(&okY) : 0;
    if (!okX || !okY)
        return mistake(QStringLiteral("x and y are whole pixels"));
    if (!windowing::postMouseMessage(windowing::messageWindowOf(c->control()->window()), {x, y}))
        return mistake(QStringLiteral("%1 has no message window").arg(w[1].raw()));
    return {};
}

// Saves the control's window as it is drawn, hidden or not: in design mode
// its design-time face, looked at without a display.
Host::Done Host::doSnapshot(const Words &w) {
    TRY(expectCount(w, 3, 3, "snapshot <name> <file.png>"));
    HostedControl *c = TRY(control(w[1].raw()));
    QWidget *window = c->control()->window();
    if (!window)
        return mistake(QStringLiteral("%1 has no window").arg(w[1].raw()));
    const QString file = fileName(w[2]);
    const QImage image = window->grab().toImage();
    if (image.isNull())
        return mistake(QStringLiteral("%1 has an empty window; resize it first").arg(w[1].raw()));
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly) || !image.save(&f, "PNG") || !f.commit())
        return mistake(QStringLiteral("cannot write %1: %2").arg(file, f.errorString()));
    print(QStringLiteral("%1 snapshot = %2 x %3 %4")
              .arg(w[1].raw())
              .arg(image.width())
              .arg(image.height())
              .arg(file));
    return {};
}

} // namespace ctlhost
