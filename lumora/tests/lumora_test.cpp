// Lumorel hosted on a form: the icon records the shell receives, the mouse
// events, animation on the test clock, persistence, sizing and the design face.
#include <QApplication>
#include <QLabel>

#include <gtest/gtest.h>

#include "automation/picture.h"
#include "lumora_dispids.h"
#include "shell/records.h"
#include "shell/testing.h"
#include "windowing/formsite.h"
#include "windowing/handles.h"
#include "windowing/timers.h"

using namespace automation;
namespace dispid = lumora::dispid;

namespace {

// A named case: what is done in turn ("verb arguments"), and what is expected.
struct Case {
    const char *name;
    const char *steps; // parted by ", "
    const char *expected;
    const char *events = "";
};

std::string caseName(const ::testing::TestParamInfo<Case> &info) {
    return info.param.name;
}

class Lumorel : public ::testing::Test {
  protected:
    Result<> create(const char *bag = nullptr, bool run = true) {
        const Result<PropertyBag> stored = PropertyBag::fromText(bag);
        host = TRY(windowing::HostedControl::create(
            &form,
            "lumora.Lumorel",
            {.bag = bag ? &*stored : nullptr,
             .size = SizeTwips{2000, 1000},
             .userMode = run,
             .onEvent = [this](const QString &name, DispId, std::vector<Variant> &args) {
                 onEvent(name, args);
             }}));
        start = windowing::clockNowMs();
        shell::testing::takeTrace();
        return {};
    }
    // Animation events as "<index>@<ms since creation>", the others by name with their arguments.
    void onEvent(const QString &name, std::vector<Variant> &args) {
        const bool frame = name == QLatin1String("Animation");
        const QString at = QString::number(windowing::clockNowMs() - start);
        QString text = frame ? QString::number(args[0].i4()) + '@' + at : name;
        for (const Variant &a : frame ? std::vector<Variant>() : args)
            text += QLatin1Char(' ') + a.describe();
        seen << text;
        if (during)
            during(args);
        else if (!frame) // the host writes into Button and Error's arguments
            std::fill(args.begin(), args.end(), Variant(std::int32_t(99)));
    }
    Result<> call(DispId id, std::vector<Variant> args = {}) {
        return host->control()->call(id, std::move(args));
    }
    std::int32_t get(DispId id) {
        return host->control()->get(id).value_or(Variant(-1)).toI4().value_or(-1);
    }
    Result<> put(std::int32_t interval) {
        return host->control()->put(dispid::AnimationInterval, Variant(interval));
    }
    QString events() { return std::exchange(seen, {}).join(QLatin1Char(' ')); }
    void post(const std::vector<int> &messages) {
        for (int m : messages)
            windowing::postMouseMessage(std::uint32_t(get(dispid::Handle)), {m, 0, 1, 0});
        QCoreApplication::processEvents();
    }

    QWidget form;
    std::unique_ptr<windowing::HostedControl> host;
    QStringList seen;
    std::function<void(std::vector<Variant> &)> during;
    std::int64_t start = 0;
};

// Each step "verb [picture tip [hide]]"; the expected record "op [picture tip]", the
// record of one with no icon yet when only the op is given, none when empty.
class LumorelShell : public Lumorel, public ::testing::WithParamInterface<Case> {
  protected:
    Variant picture(const QString &name) {
        if (name == QLatin1String("none"))
            return Variant(DispatchPtr());
        QPixmap p(16, 16);
        p.fill(QColor(name));
        return Variant(makePicture(windowing::iconHandle(QIcon(p))));
    }
    Result<> step(const QStringList &w) {
        static const std::map<QString, DispId> verbs{{"add", dispid::AddToTray},
                                                     {"modify", dispid::ModifyTrayIcon},
                                                     {"return", dispid::ReturnTrayIcon},
                                                     {"delete", dispid::DeleteFromTray}};
        std::vector<Variant> args;
        if (w.size() > 2) {
            pictures[w[1]] = picture(w[1]);
            args = {pictures[w[1]], Variant(w[2])};
        }
        if (w.size() > 3)
            args.push_back(Variant::fromBool(true));
        return call(verbs.at(w[0]), args);
    }
    // The record as the shell traces it: the fields, then the tip and what fills its field.
    QByteArray record(const QStringList &w) {
        const bool icon = w.size() > 1;
        QByteArray r(24, '\0');
        for (auto [offset, value] : {std::pair(0, 88u),
                                     {4, icon ? std::uint32_t(get(dispid::Handle)) : 0},
                                     {8, 1u},
                                     {12, icon ? 7u : 0},
                                     {16, icon ? 512u : 0},
                                     {20, std::uint32_t(pictures[w.value(1)].toI4().value_or(0))}})
            shell::writeU32(r, offset, value);
        const QByteArray tip = w.value(2).toLatin1();
        const QByteArray field = tip + '\0' + QByteArray(63 - tip.size(), icon ? ' ' : '\0');
        return w[0].toLatin1() + ' ' + (r + field).toHex(' ');
    }
    std::map<QString, Variant> pictures;
};

} // namespace

TEST_F(Lumorel, HandleIsTheControlsMessageWindow) {
    ASSERT_TRUE(create());
    const auto window = windowing::messageWindowOf(host->control()->window());
    EXPECT_NE(window, 0u) << "the control has a message window";
    EXPECT_EQ(std::uint32_t(get(dispid::Handle)), window) << "Handle names it";
}

TEST_P(LumorelShell, HandsTheShellItsRecordAndTrapsErrors) {
    ASSERT_TRUE(create());
    for (const QString &s : QString(GetParam().steps).split(", "))
        EXPECT_TRUE(step(s.split(' '))) << GetParam().name << ": " << s.toStdString();
    const QList<QByteArray> lines = shell::testing::takeTrace().split('\n');
    const QString expected = GetParam().expected;
    const QByteArray last = expected.isEmpty() ? "" : record(expected.split(' '));
    EXPECT_EQ(lines.last(), last) << GetParam().name << ": the last record";
    EXPECT_EQ(events(), GetParam().events) << GetParam().name << ": the events";
}

INSTANTIATE_TEST_SUITE_P(
    Lumorel, LumorelShell,
    ::testing::Values(
        Case{"Add", "add red tip", "add red tip", "AddIcon"},
        Case{"Modify", "add red tip, modify blue new", "modify blue new", "AddIcon Modifycon"},
        Case{"ReturnToTheAddedIcon",
             "add red tip, modify blue new, return",
             "modify red tip",
             "AddIcon Modifycon ReturnIcon"},
        Case{"DeleteKeepsTheLastFields",
             "add red tip, modify blue new, delete",
             "delete blue new",
             "AddIcon Modifycon DeleteIcon"},
        Case{"DeleteBeforeAnyAdd", "delete", "delete", "DeleteIcon"},
        Case{"ModifyWithoutAPicture",
             "modify none bad",
             "",
             "Error I4:424 BStr:\"Object required\" BStr:\"lumora.ModifyTrayIcon\""},
        Case{"ReturnAfterAFailedAdd",
             "add red tip, add none bad, return",
             "modify red tip",
             "AddIcon Error I4:424 BStr:\"Object required\" BStr:\"lumora.AddToTray\" ReturnIcon"}),
    caseName);

TEST_F(Lumorel, AddToTrayShowsTheFormUnlessToldToHideIt) {
    ASSERT_TRUE(create());
    ASSERT_TRUE(call(dispid::AddToTray, {Variant(DispatchPtr()), Variant("tip")}));
    EXPECT_TRUE(form.isVisible()) << "shown, even by an add that then fails";
    const Variant hide = Variant::fromBool(true);
    ASSERT_TRUE(call(dispid::AddToTray, {Variant(DispatchPtr()), Variant(""), hide}));
    EXPECT_FALSE(form.isVisible()) << "hidden";
}

class LumorelMouse : public Lumorel, public ::testing::WithParamInterface<Case> {};

TEST_P(LumorelMouse, ShellMouseMessagesBecomeEvents) {
    ASSERT_TRUE(create());
    std::vector<int> messages;
    for (const QString &m : QString(GetParam().steps).split(", "))
        messages.push_back(m.toInt());
    post(messages);
    EXPECT_EQ(events(), GetParam().expected) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Lumorel, LumorelMouse,
    ::testing::Values(
        Case{"Move", "512", "MouseMove"},
        Case{"Right", "516, 517, 518", "MouseDown I4:3 MouseUp I4:3 DoubleClick I4:3"},
        Case{"Middle", "519, 520, 521", "MouseDown I4:2 MouseUp I4:2 DoubleClick I4:2"},
        Case{"Others", "0, 511, 522, 600", ""}),
    caseName);

// A handler with a nested loop: what arrives meanwhile is dropped, the next one decoded.
TEST_F(Lumorel, MessagesDuringAHandlerAreDropped) {
    ASSERT_TRUE(create());
    bool first = true;
    during = [&](std::vector<Variant> &) {
        if (std::exchange(first, false))
            post({516, 517});
    };
    post({514});
    post({512});
    EXPECT_EQ(events(), "MouseUp I4:1 Click MouseMove");
}

// Steps: "+ms" advances the clock, "index n" makes the host answer frame n with 1,
// "interval ms" sets the interval, the others call the method of that name.
class LumorelAnimation : public Lumorel, public ::testing::WithParamInterface<Case> {};

TEST_P(LumorelAnimation, CountsFramesOnTheTimer) {
    ASSERT_TRUE(create());
    const std::map<QString, DispId> verbs{{"start", dispid::StartAnimation},
                                          {"pause", dispid::PauseAnimation},
                                          {"stop", dispid::StopAnimation}};
    for (const QString &s : QString(GetParam().steps).split(", ")) {
        const QStringList w = s.split(' ');
        std::vector<Variant> args;
        for (const QString &a : w.mid(1))
            args.push_back(w[0] == "stop" ? Variant::fromBool(a.toInt()) : Variant(a.toInt()));
        if (w[0].startsWith('+'))
            windowing::advanceClock(w[0].toInt());
        else if (w[0] == "index")
            during = [n = args[0].i4()](std::vector<Variant> &a) {
                if (a.size() && a[0].i4() == n)
                    a[0] = Variant(1);
            };
        else if (w[0] == "interval")
            EXPECT_TRUE(put(args[0].i4())) << s.toStdString();
        else
            EXPECT_TRUE(call(verbs.at(w[0]), args)) << s.toStdString();
    }
    EXPECT_EQ(events(), GetParam().expected) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Lumorel, LumorelAnimation,
    ::testing::Values(
        Case{"LastBeforeFirst", "start 5 2, +400", "AnimationStarted 5@200 5@400"},
        Case{"StartResumesAPause",
             "start 1 4, +400, pause, start 7 9, +600",
             "AnimationStarted 2@200 3@400 AnimationPaused AnimationStarted 4@600 1@800 2@1000"},
        Case{"StopReturnsTheIconAndKeepsAPause",
             "start 1 4, +200, pause, stop, +200, start 7 9, +200",
             "AnimationStarted 2@200 AnimationPaused ReturnIcon AnimationStopped AnimationStarted "
             "3@600"},
        Case{"StopWithoutReturningTheIcon",
             "start 1 4, +200, stop 0, +400",
             "AnimationStarted 2@200 AnimationStopped"},
        Case{"TheHostsIndexCounts",
             "index 3, start 1 4, +800",
             "AnimationStarted 2@200 3@400 2@600 3@800"},
        Case{"ANewIntervalRestartsTheCountdown",
             "start 1 4, +200, interval 500, +1000",
             "AnimationStarted 2@200 3@700 4@1200"},
        Case{"StartRestartsTheCountdownAndInterval0Stops",
             "start 1 4, +150, start 1 4, +200, interval 0, +1000",
             "AnimationStarted AnimationStarted 2@350"},
        Case{"WrapsAtTheTopOfTheRange",
             "start 2147483645 2147483647, +800",
             "AnimationStarted 2147483646@200 2147483647@400 2147483645@600 2147483646@800"}),
    caseName);

struct Interval {
    const char *name;
    std::int32_t value;
    int error;
};

class LumorelInterval : public Lumorel, public ::testing::WithParamInterface<Interval> {};

TEST_P(LumorelInterval, TakesValuesFrom0To65535) {
    ASSERT_TRUE(create());
    ASSERT_TRUE(put(350));
    const Result<> r = put(GetParam().value);
    EXPECT_EQ(r ? 0 : r.error().number, GetParam().error) << GetParam().name << ": its error";
    const std::int32_t kept = GetParam().error ? 350 : GetParam().value;
    EXPECT_EQ(get(dispid::AnimationInterval), kept) << GetParam().name << ": the interval";
    const QByteArray text = "AnimationInterval = I4:" + QByteArray::number(GetParam().value);
    const std::size_t changes = GetParam().error ? 1 : 2;
    EXPECT_EQ(host->site().changedProperties().size(), changes) << GetParam().name << ": told";
    const Result<> loaded = create((text + '\n').constData());
    EXPECT_EQ(loaded ? 0 : loaded.error().number, GetParam().error) << GetParam().name << ": load";
}

INSTANTIATE_TEST_SUITE_P(Lumorel, LumorelInterval,
                         ::testing::Values(Interval{"Zero", 0, 0}, Interval{"Top", 65535, 0},
                                           Interval{"AboveTheTop", 65536, 380},
                                           Interval{"Negative", -1, 380}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(Lumorel, AnimationIntervalIsSavedUnlessItIsTheDefault) {
    ASSERT_TRUE(create());
    PropertyBag unchanged, saved;
    ASSERT_TRUE(host->save(unchanged));
    ASSERT_TRUE(put(350));
    ASSERT_TRUE(host->save(saved));
    EXPECT_EQ(unchanged.toText(), "") << "the default is left out";
    EXPECT_EQ(saved.toText(), "AnimationInterval = I4:350\n") << "350 is saved";
    EXPECT_EQ(host->site().changedProperties().size(), 1u) << "the change is told once";
    ASSERT_TRUE(create("AnimationInterval = I4:350\n"));
    EXPECT_EQ(get(dispid::AnimationInterval), 350) << "and loaded";
}

// In a designer the face shows the picture of its first paint, and keeps its size.
TEST_F(Lumorel, TheFaceShowsInADesignerAtItsOwnSize) {
    ASSERT_TRUE(create(nullptr, false));
    QWidget *face = host->control()->window();
    const QLabel *image = face->findChild<QLabel *>("Image1");
    EXPECT_TRUE(image->pixmap().isNull()) << "the picture is drawn when the face is first shown";
    const QImage first = face->grab().toImage();
    EXPECT_EQ(image->pixmap().size(), QSize(24, 24)) << "drawn then";
    EXPECT_EQ(face->grab().toImage(), first) << "the same picture in later paints";
    EXPECT_EQ(host->size(), (SizeTwips{465, 465})) << "its size, not the one proposed";
    EXPECT_EQ(host->resize({2000, 1000}), (SizeTwips{465, 465})) << "nor a later one";
    EXPECT_TRUE(face->isVisibleTo(&form)) << "shown in a designer";
    ASSERT_TRUE(create());
    EXPECT_FALSE(host->control()->window()->isVisibleTo(&form)) << "hidden when the form runs";
}

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    windowing::useManualClock();
    shell::testing::registerControl("LUMORA_LIB");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
