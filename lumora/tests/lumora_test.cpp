// Lumorel hosted on a form: the icon records the shell receives, the mouse
// events, animation on the test clock, persistence, sizing and the contract.
#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "automation/picture.h"
#include "automation/resources.h"
#include "automation/server.h"
#include "shell/records.h"
#include "windowing/formsite.h"
#include "windowing/handles.h"
#include "windowing/timers.h"

using namespace automation;

namespace {

QTemporaryDir& dir() { static QTemporaryDir d; return d; }

Variant picture(Qt::GlobalColor c)
{
    QPixmap p(16, 16);
    p.fill(c);
    return Variant(makePicture(windowing::iconHandle(QIcon(p))));
}
std::uint32_t handleOf(const Variant& picture) { return std::uint32_t(picture.toI4().value_or(-1)); }

// A traced record: the operation, the fields, the tip's bytes and what fills the rest of it.
QByteArray record(const char* op, std::uint32_t window, std::uint32_t flags, std::uint32_t icon, const QByteArray& tip, char fill = ' ')
{
    QByteArray r(24, '\0');
    for (auto [offset, value] : {std::pair(0, 88u), {4, window}, {8, 1u}, {12, flags}, {16, flags ? 512u : 0u}, {20, icon}})
        shell::writeU32(r, offset, value);
    return op + (' ' + (r + tip + QByteArray(64 - tip.size(), fill)).toHex(' '));
}

class Lumorel : public ::testing::Test {
protected:
    Result<> create(const PropertyBag* bag = nullptr, bool run = true)
    {
        auto made = windowing::HostedControl::create(&form, QStringLiteral("lumora.Lumorel"),
            {.bag = bag, .size = SizeTwips{2000, 1000}, .userMode = run,
             .onEvent = [this](const QString& name, DispId, std::vector<Variant>& args) { onEvent(name, args); }});
        if (!made)
            return made.error();
        host = std::move(*made);
        start = windowing::clockNowMs();
        return {};
    }
    void onEvent(const QString& name, std::vector<Variant>& args)
    {
        QString text = name;
        for (const Variant& a : args)
            text += name == QLatin1String("Animation") ? QStringLiteral(" %1@%2").arg(a.i4()).arg(windowing::clockNowMs() - start)
                                                       : QLatin1Char(' ') + a.describe();
        seen << text;
        if (during)
            during(name, args);
        else if (name != QLatin1String("Animation"))
            std::fill(args.begin(), args.end(), Variant(std::int32_t(99)));   // the host writes into Button and Error's arguments
    }
    Result<> call(DispId id, std::vector<Variant> args = {}) { return host->control()->call(id, std::move(args)); }
    std::int32_t get(DispId id) { return host->control()->get(id).value_or(Variant(-1)).toI4().value_or(-1); }
    QString events() { return std::exchange(seen, {}).join(QLatin1Char(' ')); }
    QByteArray traced()   // the records since the last look
    {
        QFile f(qEnvironmentVariable("VELMORA_SHELL_TRACE"));
        const QByteArray all = f.open(QIODevice::ReadWrite) ? f.readAll().trimmed() : QByteArray("<no trace>");
        f.resize(0);
        return all;
    }
    void post(const std::vector<int>& messages)
    {
        for (int m : messages)
            windowing::postMouseMessage(std::uint32_t(get(0x68030000)), {m, 0, 1, 0});
        QCoreApplication::processEvents();
    }

    QWidget form;
    std::unique_ptr<windowing::HostedControl> host;
    QStringList seen;
    std::function<void(const QString&, std::vector<Variant>&)> during;
    std::int64_t start = 0;
};

} // namespace

TEST_F(Lumorel, ShellMethodsHandTheShellTheirRecordsAndTrapTheirErrors)
{
    ASSERT_TRUE(create());
    traced();
    const auto hwnd = std::uint32_t(get(0x68030000));
    EXPECT_TRUE(hwnd && hwnd == windowing::messageWindowOf(host->control()->window()));
    const Variant red = picture(Qt::red), blue = picture(Qt::blue), nothing{DispatchPtr()};
    const QString seventy = QString::fromLatin1("0123456789").repeated(7);
    const QByteArray cut = seventy.left(63).toLatin1() + '\0';
    const QString error = QStringLiteral("Error I4:424 BStr:\"Object required\" BStr:\"lumora.%1\"");
    const struct { DispId id; std::vector<Variant> args; QByteArray record; QString events; bool visible; } steps[] = {
        {0x60030008, {}, record("delete", 0, 0, 0, "", '\0'), "DeleteIcon", false},
        {0x60030005, {red, seventy}, record("add", hwnd, 7, handleOf(red), cut), "AddIcon", true},
        {0x60030006, {blue, QStringLiteral("Б")}, record("modify", hwnd, 7, handleOf(blue), QByteArray("\xc1\0", 2)), "Modifycon", true},
        {0x60030007, {}, record("modify", hwnd, 7, handleOf(red), cut), "ReturnIcon", true},
        {0x60030005, {blue, "second", Variant::fromBool(true)}, record("add", hwnd, 7, handleOf(blue), QByteArray("second", 7)), "AddIcon", false},
        {0x60030007, {}, record("modify", hwnd, 7, handleOf(blue), QByteArray("second", 7)), "ReturnIcon", false},
        {0x60030008, {}, record("delete", hwnd, 7, handleOf(blue), QByteArray("second", 7)), "DeleteIcon", false},
        {0x60030005, {nothing, "bad"}, "", error.arg("AddToTray"), true},
        {0x60030006, {nothing, "bad"}, "", error.arg("ModifyTrayIcon"), true},
        {0x60030007, {}, record("modify", hwnd, 7, handleOf(blue), QByteArray("second", 7)), "ReturnIcon", true},
    };
    for (const auto& s : steps) {
        EXPECT_TRUE(call(s.id, s.args)) << &s - steps;
        EXPECT_EQ(std::tuple(traced(), events(), form.isVisible()), std::tuple(s.record, s.events, s.visible)) << &s - steps;
    }
}

// Windows-1251, "?" for what it lacks, the 63-byte limit on the encoded text.
TEST_F(Lumorel, TipsAreWrittenInTheAnsiCodePage)
{
    ASSERT_TRUE(create());
    const Variant red = picture(Qt::red);
    const struct { QString tip; QByteArray bytes; } tips[] = {
        {"", ""}, {QStringLiteral("Усилитель"), "\xd3\xf1\xe8\xeb\xe8\xf2\xe5\xeb\xfc"}, {QStringLiteral("é✓ok"), "??ok"},
        {QStringLiteral("😀") + QString(63, u'x'), "?" + QByteArray(62, 'x')},
    };
    for (const auto& t : tips) {
        traced();
        EXPECT_TRUE(call(0x60030005, {red, t.tip}));
        EXPECT_EQ(traced(), record("add", std::uint32_t(get(0x68030000)), 7, handleOf(red), t.bytes + '\0')) << t.bytes.constData();
    }
}

TEST_F(Lumorel, ShellMouseMessagesBecomeEvents)
{
    ASSERT_TRUE(create());
    const struct { std::vector<int> messages; QString events; } cases[] = {
        {{512}, "MouseMove"},
        {{513, 514, 515, 514}, "MouseDown I4:1 MouseUp I4:1 Click DoubleClick I4:1 MouseUp I4:1 Click"},
        {{516, 517, 518}, "MouseDown I4:3 MouseUp I4:3 DoubleClick I4:3"},
        {{519, 520, 521}, "MouseDown I4:2 MouseUp I4:2 DoubleClick I4:2"},
        {{0, 511, 522, 600}, ""},
    };
    for (const auto& c : cases) {
        post(c.messages);
        EXPECT_EQ(events(), c.events);
    }
    // A handler with a nested loop: what arrives meanwhile is dropped, the next one decoded.
    during = [this](const QString& name, std::vector<Variant>&) {
        if (std::exchange(during, nullptr) && name == QLatin1String("MouseUp"))
            post({516, 517});
    };
    post({514});
    post({512});
    EXPECT_EQ(events(), "MouseUp I4:1 Click MouseMove");
}

TEST_F(Lumorel, AnimationCountsFramesOnTheTimer)
{
    const struct { std::vector<QString> steps; QString events; } cases[] = {
        {{"start 1 4", "+1000"}, "AnimationStarted Animation 2@200 Animation 3@400 Animation 4@600 Animation 1@800 Animation 2@1000"},
        {{"start 5 2", "+400"}, "AnimationStarted Animation 5@200 Animation 5@400"},
        {{"start 1 4", "+400", "pause", "start 7 9", "+600"}, "AnimationStarted Animation 2@200 Animation 3@400 AnimationPaused AnimationStarted Animation 4@600 Animation 1@800 Animation 2@1000"},
        {{"start 1 4", "+200", "pause", "stop", "+200", "start 7 9", "+200"}, "AnimationStarted Animation 2@200 AnimationPaused ReturnIcon AnimationStopped AnimationStarted Animation 3@600"},
        {{"start 1 4", "+200", "stop 0", "+400"}, "AnimationStarted Animation 2@200 AnimationStopped"},
        {{"index 3", "start 1 4", "+800"}, "AnimationStarted Animation 2@200 Animation 3@400 Animation 2@600 Animation 3@800"},
        {{"start 1 4", "+200", "interval 500", "+1000"}, "AnimationStarted Animation 2@200 Animation 3@700 Animation 4@1200"},
        {{"start 1 4", "+150", "start 1 4", "+200", "interval 0", "+1000"}, "AnimationStarted AnimationStarted Animation 2@350"},
        {{"start 2147483645 2147483647", "+800"}, "AnimationStarted Animation 2147483646@200 Animation 2147483647@400 Animation 2147483645@600 Animation 2147483646@800"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(create());
        for (const QString& step : c.steps) {
            const QStringList w = step.split(QLatin1Char(' '));
            if (w[0].startsWith(QLatin1Char('+')))
                windowing::advanceClock(w[0].toInt());
            else if (w[0] == QLatin1String("index"))   // the host answers that frame with 1
                during = [n = w[1].toInt()](const QString&, std::vector<Variant>& a) { if (a.size() && a[0].i4() == n) a[0] = Variant(1); };
            else if (w[0] == QLatin1String("interval"))
                EXPECT_TRUE(host->control()->put(0x68030001, Variant(w[1].toInt())));
            else {
                std::vector<Variant> args;
                for (const QString& a : w.mid(1))
                    args.push_back(w[0] == QLatin1String("stop") ? Variant::fromBool(a.toInt()) : Variant(a.toInt()));
                EXPECT_TRUE(call(w[0] == QLatin1String("start") ? 0x60030009 : w[0] == QLatin1String("pause") ? 0x6003000A : 0x6003000B, args));
            }
        }
        EXPECT_EQ(events(), c.events) << c.steps.front().toStdString();
        during = nullptr;
    }
}

TEST_F(Lumorel, AnimationIntervalPersistsAndRefusesWhatATimerCannotTake)
{
    ASSERT_TRUE(create());
    EXPECT_EQ(host->size(), (SizeTwips{465, 465}));
    EXPECT_EQ(host->resize({2000, 1000}), (SizeTwips{465, 465}));
    const struct { std::int32_t value; std::int32_t error; std::int32_t after; } puts[] = {
        {0, 0, 0}, {65535, 0, 65535}, {65536, 380, 65535}, {-1, 380, 65535}, {350, 0, 350},
    };
    for (const auto& p : puts) {
        const Result<> r = host->control()->put(0x68030001, Variant(p.value));
        EXPECT_EQ(std::pair(r ? 0 : r.error().number, get(0x68030001)), std::pair(p.error, p.after)) << p.value;
    }
    EXPECT_EQ(host->site().changedProperties(), (std::vector<DispId>(3, 0x68030001)));
    PropertyBag saved, unchanged;
    ASSERT_TRUE(host->save(saved) && create() && host->save(unchanged));
    EXPECT_EQ(saved.toText() + unchanged.toText(), "AnimationInterval = I4:350\n");
    ASSERT_TRUE(create(&saved));
    EXPECT_EQ(get(0x68030001), 350);
    const Result<> tooLong = create(&*PropertyBag::fromText("AnimationInterval = I4:65536\n"));
    EXPECT_EQ(tooLong ? 0 : tooLong.error().number, 380);
}

TEST_F(Lumorel, DesignFaceShowsOnlyInADesigner)
{
    for (bool run : {false, true}) {
        ASSERT_TRUE(create(nullptr, run));
        const auto* image = host->control()->window()->findChild<QLabel*>(QStringLiteral("Image1"));
        EXPECT_EQ(std::pair(host->control()->window()->isVisibleTo(&form), image->pixmap().size()), std::pair(!run, QSize(24, 24)));
    }
}

// The contract: dispatch ids, events, and the data the library file carries.
TEST_F(Lumorel, LibraryCarriesItsContract)
{
    ASSERT_TRUE(create());
    QStringList names;
    for (DispId id : {-552, 0x60030005, 0x60030006, 0x60030007, 0x60030008, 0x60030009, 0x6003000A, 0x6003000B, 0x68030001, 0x68030000})
        names << host->control()->typeInfo().find(id, id >> 24 == 0x68 ? InvokeKind::PropertyGet : InvokeKind::Method)->name;
    for (DispId id = 1; id <= 14; ++id)
        names << host->eventName(id);
    EXPECT_EQ(names.join(' '), "AboutBox AddToTray ModifyTrayIcon ReturnTrayIcon DeleteFromTray StartAnimation PauseAnimation StopAnimation "
                               "AnimationInterval Handle Animation MouseDown MouseUp MouseMove Click DoubleClick AddIcon Modifycon "
                               "ReturnIcon DeleteIcon AnimationStarted AnimationPaused AnimationStopped Error");
    const auto all = readResources(qEnvironmentVariable("LUMORA_LIB"));
    ASSERT_TRUE(all);
    auto resource = [&](const char* type, const char* name) { return findResource(*all, type, name).value_or(QByteArray()); };
    const auto version = VersionBlock::parse(resource("VERSION", "1"));
    EXPECT_EQ(std::tuple(resource("CUSTOM", "_IID_LUMOREL").toHex(), resource("CUSTOM", "_SRCIID_LUMOREL").toHex(), resource("BITMAP", "30000").mid(4, 12).toHex(),
                         version->major, version->minor, version->build, version->revision, version->selfRegister, host->registration().miscStatus),
              std::tuple(QByteArray("100000001473724a5209" "4c4c962b9ca4a0b6a42e"), QByteArray("1000000081a9474f6608" "6d4ab3fa7db91030fd0a"),
                         QByteArray("100000000f00000001001800"), 3, 0, 0, 75, true, 0x20591u));
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    windowing::useManualClock();
    qputenv("VELMORA_REGISTRY", QFile::encodeName(dir().filePath(QStringLiteral("registry"))));
    qputenv("VELMORA_SHELL_TRACE", QFile::encodeName(dir().filePath(QStringLiteral("trace"))));
    const Result<> registered = [] () -> Result<> { return TRY(loadLibrary(qEnvironmentVariable("LUMORA_LIB"))).registerServer(); }();
    if (!registered)
        qFatal("cannot register $LUMORA_LIB: %s", qPrintable(registered.error().description));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
