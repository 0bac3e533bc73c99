// Lumorel hosted on a form: the icon records the shell receives, the mouse
// events, animation on the test clock, persistence, sizing and the design face.
#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <ranges>

#include <gtest/gtest.h>

#include "automation/picture.h"
#include "automation/server.h"
#include "lumora_dispids.h"
#include "shell/records.h"
#include "shell/testing.h"
#include "windowing/formsite.h"
#include "windowing/handles.h"
#include "windowing/timers.h"

using namespace automation;
namespace dispid = lumora::dispid;

namespace {

// A traced record: the operation, the fields, the tip's bytes and what fills the rest of its field.
QByteArray record(const char *op, std::uint32_t window, std::uint32_t flags, const Variant &icon,
                  const QByteArray &tip, char fill = ' ') {
    QByteArray r(24, '\0');
    for (auto [offset, value] : {std::pair(0, 88u),
                                 {4, window},
                                 {8, 1u},
                                 {12, flags},
                                 {16, flags ? 512u : 0u},
                                 {20, std::uint32_t(icon.toI4().value_or(0))}})
        shell::writeU32(r, offset, value);
    return op + (' ' + (r + tip + '\0' + QByteArray(63 - tip.size(), fill)).toHex(' '));
}

class Lumorel : public ::testing::Test {
  protected:
    Result<> create(const PropertyBag *bag = nullptr, bool run = true) {
        host = TRY(windowing::HostedControl::create(
            &form,
            QStringLiteral("lumora.Lumorel"),
            {.bag = bag,
             .size = SizeTwips{2000, 1000},
             .userMode = run,
             .onEvent = [this](const QString &name, DispId, std::vector<Variant> &args) {
                 onEvent(name, args);
             }}));
        start = windowing::clockNowMs();
        return {};
    }
    // Animation events as "Animation <index>@<ms since creation>", the others with their arguments.
    void onEvent(const QString &name, std::vector<Variant> &args) {
        QString text = name;
        for (const Variant &a : args)
            text += name == QLatin1String("Animation")
                        ? QStringLiteral(" %1@%2").arg(a.i4()).arg(windowing::clockNowMs() - start)
                        : QLatin1Char(' ') + a.describe();
        seen << text;
        if (during)
            during(name, args);
        else if (name != QLatin1String("Animation"))
            std::fill(
                args.begin(),
                args.end(),
                Variant(std::int32_t(99))); // the host writes into Button and Error's arguments
    }
    Result<> call(DispId id, std::vector<Variant> args = {}) {
        return host->control()->call(id, std::move(args));
    }
    std::int32_t get(DispId id) {
        return host->control()->get(id).value_or(Variant(-1)).toI4().value_or(-1);
    }
    QString events() { return std::exchange(seen, {}).join(QLatin1Char(' ')); }
    static QByteArray traced() {
        return shell::testing::takeTrace();
    } // the records since the last look
    void post(const std::vector<int> &messages) {
        for (int m : messages)
            windowing::postMouseMessage(std::uint32_t(get(dispid::Handle)), {m, 0, 1, 0});
        QCoreApplication::processEvents();
    }

    QWidget form;
    std::unique_ptr<windowing::HostedControl> host;
    QStringList seen;
    std::function<void(const QString &, std::vector<Variant> &)> during;
    std::int64_t start = 0;
};

} // namespace

TEST_F(Lumorel, ShellMethodsHandTheShellTheirRecordsAndTrapTheirErrors) {
    ASSERT_TRUE(create());
    traced();
    const auto hwnd = std::uint32_t(get(dispid::Handle));
    EXPECT_TRUE(hwnd && hwnd == windowing::messageWindowOf(host->control()->window()));
    auto picture = [](Qt::GlobalColor c) {
        QPixmap p(16, 16);
        return p.fill(c), Variant(makePicture(windowing::iconHandle(QIcon(p))));
    };
    const Variant red = picture(Qt::red), blue = picture(Qt::blue), nothing{DispatchPtr()};
    const QString seventy = QString::fromLatin1("0123456789").repeated(7),
                  error = "Error I4:424 BStr:\"Object required\" BStr:\"lumora.%1\"";
    const struct {
        DispId id;
        std::vector<Variant> args;
        QByteArray record;
        QString events;
        bool visible;
    } steps[] = {
        {dispid::DeleteFromTray, {}, record("delete", 0, 0, {}, "", '\0'), "DeleteIcon", false},
        {dispid::AddToTray,
         {red, seventy},
         record("add", hwnd, 7, red, seventy.left(63).toLatin1()),
         "AddIcon",
         true},
        {dispid::ModifyTrayIcon,
         {blue, QStringLiteral("Усилитель")},
         record("modify", hwnd, 7, blue, "\xd3\xf1\xe8\xeb\xe8\xf2\xe5\xeb\xfc"),
         "Modifycon",
         true},
        {dispid::ReturnTrayIcon,
         {},
         record("modify", hwnd, 7, red, seventy.left(63).toLatin1()),
         "ReturnIcon",
         true},
        {dispid::ModifyTrayIcon,
         {red, QStringLiteral("é✓😀") + QString(62, u'x')},
         record("modify", hwnd, 7, red, "???" + QByteArray(60, 'x')),
         "Modifycon",
         true},
        {dispid::AddToTray,
         {blue, "", Variant::fromBool(true)},
         record("add", hwnd, 7, blue, ""),
         "AddIcon",
         false},
        {dispid::ModifyTrayIcon,
         {red, "second"},
         record("modify", hwnd, 7, red, "second"),
         "Modifycon",
         false},
        {dispid::DeleteFromTray, {}, record("delete", hwnd, 7, red, "second"), "DeleteIcon", false},
        {dispid::AddToTray, {nothing, "bad"}, "", error.arg("AddToTray"), true},
        {dispid::ModifyTrayIcon, {nothing, "bad"}, "", error.arg("ModifyTrayIcon"), true},
        {dispid::ReturnTrayIcon, {}, record("modify", hwnd, 7, blue, ""), "ReturnIcon", true},
    };
    for (const auto &s : steps) {
        EXPECT_TRUE(call(s.id, s.args)) << &s - steps;
        EXPECT_EQ(std::tuple(traced(), events(), form.isVisible()),
                  std::tuple(s.record, s.events, s.visible))
            << &s - steps;
    }
}

TEST_F(Lumorel, ShellMouseMessagesBecomeEvents) {
    ASSERT_TRUE(create());
    const struct {
        std::vector<int> messages;
        QString events;
    } cases[] = {
        {{512}, "MouseMove"},
        {{513, 514, 515, 514},
         "MouseDown I4:1 MouseUp I4:1 Click DoubleClick I4:1 MouseUp I4:1 Click"},
        {{516, 517, 518}, "MouseDown I4:3 MouseUp I4:3 DoubleClick I4:3"},
        {{519, 520, 521}, "MouseDown I4:2 MouseUp I4:2 DoubleClick I4:2"},
        {{0, 511, 522, 600}, ""},
    };
    for (const auto &c : cases) {
        post(c.messages);
        EXPECT_EQ(events(), c.events);
    }
    // A handler with a nested loop: what arrives meanwhile is dropped, the next one decoded.
    bool first = true;
    during = [&](const QString &, std::vector<Variant> &) {
        if (std::exchange(first, false))
            post({516, 517});
    };
    post({514});
    post({512});
    EXPECT_EQ(events(), "MouseUp I4:1 Click MouseMove");
}

TEST_F(Lumorel, AnimationCountsFramesOnTheTimer) {
    const struct {
        std::vector<QString> steps;
        QString events;
    } cases[] = {
        {{"start 1 4", "+1000"},
         "AnimationStarted Animation 2@200 Animation 3@400 Animation 4@600 Animation 1@800 "
         "Animation 2@1000"},
        {{"start 5 2", "+400"}, "AnimationStarted Animation 5@200 Animation 5@400"},
        {{"start 1 4", "+400", "pause", "start 7 9", "+600"},
         "AnimationStarted Animation 2@200 Animation 3@400 AnimationPaused AnimationStarted "
         "Animation 4@600 Animation 1@800 Animation 2@1000"},
        {{"start 1 4", "+200", "pause", "stop", "+200", "start 7 9", "+200"},
         "AnimationStarted Animation 2@200 AnimationPaused ReturnIcon AnimationStopped "
         "AnimationStarted Animation 3@600"},
        {{"start 1 4", "+200", "stop 0", "+400"},
         "AnimationStarted Animation 2@200 AnimationStopped"},
        {{"index 3", "start 1 4", "+800"},
         "AnimationStarted Animation 2@200 Animation 3@400 Animation 2@600 Animation 3@800"},
        {{"start 1 4", "+200", "interval 500", "+1000"},
         "AnimationStarted Animation 2@200 Animation 3@700 Animation 4@1200"},
        {{"start 1 4", "+150", "start 1 4", "+200", "interval 0", "+1000"},
         "AnimationStarted AnimationStarted Animation 2@350"},
        {{"start 2147483645 2147483647", "+800"},
         "AnimationStarted Animation 2147483646@200 Animation 2147483647@400 Animation "
         "2147483645@600 Animation 2147483646@800"},
    };
    const std::map<QString, DispId> verbs{{"start", dispid::StartAnimation},
                                          {"pause", dispid::PauseAnimation},
                                          {"stop", dispid::StopAnimation}};
    for (const auto &c : cases) {
        ASSERT_TRUE(create());
        for (const QStringList w :
             c.steps | std::views::transform([](const QString &s) { return s.split(' '); })) {
            std::vector<Variant> args;
            for (const QString &a : w.mid(1))
                args.push_back(w[0] == "stop" ? Variant::fromBool(a.toInt()) : Variant(a.toInt()));
            if (w[0].startsWith('+'))
                windowing::advanceClock(w[0].toInt());
            else if (w[0] == "index") // the host answers that frame with 1
                during = [n = args[0].i4()](const QString &, std::vector<Variant> &a) {
                    if (a.size() && a[0].i4() == n)
                        a[0] = Variant(1);
                };
            else
                EXPECT_TRUE(w[0] == "interval"
                                ? host->control()->put(dispid::AnimationInterval, args[0])
                                : call(verbs.at(w[0]), args));
        }
        EXPECT_EQ(events(), c.events) << c.steps.front().toStdString();
        during = nullptr;
    }
}

TEST_F(Lumorel, AnimationIntervalPersistsSizeSnapsAndFaceShowsInADesigner) {
    ASSERT_TRUE(create(nullptr, false));
    QWidget *face = host->control()->window();
    const QLabel *image = face->findChild<QLabel *>("Image1");
    EXPECT_TRUE(image->pixmap().isNull()) << "the picture is drawn when the face is first shown";
    const QImage first =
        face->grab().toImage(); // as a designer shows it: the picture in its first paint
    EXPECT_EQ(std::tuple(host->size(),
                         host->resize({2000, 1000}),
                         face->isVisibleTo(&form),
                         image->pixmap().size(),
                         face->grab().toImage() == first),
              std::tuple(SizeTwips{465, 465}, SizeTwips{465, 465}, true, QSize(24, 24), true));
    const struct {
        std::int32_t value, error, after;
    } puts[] = {{0, 0, 0}, {65535, 0, 65535}, {65536, 380, 65535}, {-1, 380, 65535}, {350, 0, 350}};
    for (const auto &p : puts) {
        const Result<> r = host->control()->put(dispid::AnimationInterval, Variant(p.value));
        EXPECT_EQ(std::pair(r ? 0 : r.error().number, get(dispid::AnimationInterval)),
                  std::pair(p.error, p.after))
            << p.value;
    }
    EXPECT_EQ(host->site().changedProperties(),
              (std::vector<DispId>(3, dispid::AnimationInterval)));
    PropertyBag saved, unchanged;
    ASSERT_TRUE(host->save(saved) && create() && host->save(unchanged) && create(&saved));
    EXPECT_EQ(std::tuple(saved.toText() + unchanged.toText(),
                         get(dispid::AnimationInterval),
                         host->control()->window()->isVisibleTo(&form)),
              std::tuple(QByteArray("AnimationInterval = I4:350\n"), 350, false));
    const Result<> outOfRange = create(&*PropertyBag::fromText("AnimationInterval = I4:65536\n"));
    EXPECT_EQ(outOfRange ? 0 : outOfRange.error().number, 380);
}

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    windowing::useManualClock();
    QTemporaryDir dir;
    qputenv("VELMORA_REGISTRY", QFile::encodeName(dir.filePath(QStringLiteral("registry"))));
    qputenv("VELMORA_SHELL_TRACE", QFile::encodeName(dir.filePath(QStringLiteral("trace"))));
    const auto library = loadLibrary(qEnvironmentVariable("LUMORA_LIB"));
    if (!library || !library->registerServer())
        qFatal("cannot register $LUMORA_LIB");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
