// regsvr and ctlhost run as processes on the test control library, the
// resources packed into that library read from its file, and the form object.
#include "tools_test_support.h"

#include <QApplication>

#include <sys/stat.h>

#include "automation/resources.h"
#include "windowing/formsite.h"

using namespace automation;
using namespace toolstest;

TEST(Regsvr, RegistersUnregistersAndSaysWhyItFailed) {
    Sandbox box;
    box.write("notes.so", "not a library\n");
    const QString lib = envPath("TESTCTL_LIB"),
                  none = box.path("work") + QStringLiteral("/nowhere.so");
    const QString priv = box.path("registry"), sys = box.path("system"),
                  user = box.path("data/velmora/registry");
    const QString testLibrary = QFileInfo(lib).canonicalFilePath();
    auto done = [&](const char *verb, const QString &folder) {
        return QStringLiteral("%1 %2 (%3)\n").arg(QLatin1String(verb), testLibrary, folder);
    };
    auto counts = [&] {
        const auto n = [](const QString &folder) {
            return QString::number(QDir(folder).entryList(QDir::Files).size());
        };
        return n(priv) + ' ' + n(sys) + ' ' + n(user);
    };
    const QString entryName = QStringLiteral("/5d0c7a21-93b4-4f6e-8a1d-2b7e4c90f002.class");
    const QString shadows = QStringLiteral("regsvr: warning: %1 (this user's registration of "
                                           "VelmoraTest.Widget) shadows %2 for this user\n")
                                .arg(user + entryName, sys + entryName);
    // VELMORA_REGISTRY (unset when empty), arguments, exit status, standard output, texts standard
    // error holds (none when empty), entries in the private, system and user registries afterwards.
    const struct {
        QString registry;
        QStringList args;
        int code;
        QString out;
        QStringList err;
        const char *counts;
    } steps[] = {
        {priv, {lib}, 0, done("Registered", priv), {}, "1 0 0"},
        {priv, {"-s", lib}, 0, {}, {}, "1 0 0"},
        {priv, {"-u", lib}, 0, done("Unregistered", priv), {}, "0 0 0"},
        {priv, {"-u", lib}, 0, done("Unregistered", priv), {}, "0 0 0"},
        {priv,
         {none, lib},
         1,
         done("Registered", priv),
         {"regsvr: ", none, "no such file"},
         "1 0 0"},
        {priv,
         {envPath("VELMORA_BUILD_DIR") + "/lib/libvelmora_platform.so"},
         1,
         {},
         {"not a control library"},
         "1 0 0"},
        {priv, {}, 2, {}, {"no library given", "usage: regsvr"}, "1 0 0"},
        {priv,
         {"--frobnicate", "-u", lib},
         2,
         {},
         {"unknown option --frobnicate", "usage: regsvr"},
         "1 0 0"},
        {{}, {"--system", lib}, 0, done("Registered", sys), {}, "1 1 0"},
        {{}, {lib}, 0, done("Registered", user), {shadows}, "1 1 1"},
        {{}, {"--system", "-u", lib}, 0, done("Unregistered", sys), {}, "1 0 1"},
        {{}, {"-s", "--system", lib}, 0, {}, {shadows}, "1 1 1"},
        {{}, {"-u", lib}, 0, done("Unregistered", user), {}, "1 1 0"},
        {box.path("work") + "/notes.so/registry",
         {lib},
         1,
         {},
         {"DllRegisterServer in " + testLibrary + " failed with 0x80040201"},
         "1 1 0"},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.args.join(QLatin1Char(' ')).toStdString());
        box.env.remove(QStringLiteral("VELMORA_REGISTRY"));
        if (!s.registry.isEmpty())
            box.env.insert(QStringLiteral("VELMORA_REGISTRY"), s.registry);
        const Outcome r = box.run("REGSVR", s.args);
        EXPECT_EQ(r.code, s.code) << "its exit status";
        EXPECT_EQ(r.out, s.out) << "its standard output";
        EXPECT_EQ(r.err.isEmpty(), s.err.isEmpty()) << "standard error: " << r.err.toStdString();
        for (const QString &text : s.err)
            EXPECT_TRUE(r.err.contains(text)) << "standard error holds " << text.toStdString();
        EXPECT_EQ(counts(), s.counts) << "entries in the private, system and user registries";
    }
    QFile entry(priv + QStringLiteral("/5d0c7a21-93b4-4f6e-8a1d-2b7e4c90f002.class"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_EQ(
        entry.readAll(),
        QStringLiteral(
            "CLSID={5D0C7A21-93B4-4F6E-8A1D-2B7E4C90F002}\nProgID=VelmoraTest.Widget\nName=Widget\n"
            "Library=%1\nThreadingModel=Apartment\nMiscStatus=132497\nToolboxBitmap=%1,30000\n"
            "TypeLib={5D0C7A21-93B4-4F6E-8A1D-2B7E4C90F001}\nVersion=2.5\nControl=1\n")
            .arg(testLibrary)
            .toUtf8());
}

namespace {

// One case per script: each line a script line (<NUL> a NUL byte), and after
// " => " what ctlhost prints for it, lines parted by " | ".
struct Transcript {
    const char *name;
    const char *transcript;
    QStringList options;
    int code;
    const char *err = /* in standard error */ "";
};

class Ctlhost : public ::testing::TestWithParam<Transcript> {};

} // namespace

TEST_P(Ctlhost, RunsScriptsAsTheTranscriptsShow) {
    const Transcript &c = GetParam();
    Sandbox box;
    ASSERT_EQ(box.run("REGSVR", {envPath("TESTCTL_LIB")}).code, 0);
    box.write("big.bag", "Level = I4:99999\n");
    box.write("bad.bag", "Level is twelve\n");
    box.write("text.bag", "Level = BStr:\"high\"\n");
    box.write("script.ctl",
              "create w VelmoraTest.Widget\nwait 0\npost w 517 3\nadvance 1000\ncall w Add 40 2\n");
    QByteArray script;
    QString expected;
    for (const QString &line :
         QString::fromUtf8(c.transcript).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype at = line.indexOf(QLatin1String("=>"));
        if (at != 0)
            script += line.left(at < 0 ? line.size() : at - 1).toUtf8() + '\n';
        for (const QString &out :
             at < 0 ? QStringList() : line.mid(at + 3).split(QStringLiteral(" | ")))
            expected += out + QLatin1Char('\n');
    }
    const Outcome r = box.run("CTLHOST", c.options, script.replace("<NUL>", QByteArray(1, '\0')));
    EXPECT_EQ(r.code, c.code) << c.name << ": its exit status; " << r.err.toStdString();
    EXPECT_EQ(r.out, expected) << c.name << ": what it printed";
    EXPECT_TRUE(r.err.contains(QLatin1String(c.err))) << c.name << ": " << r.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Tools, Ctlhost,
    ::testing::Values(
        Transcript{"MembersArgumentsAndEvents",
                   R"(# members by name and by dispid, typed arguments, defaults
echo start => start
create w VelmoraTest.Widget => event w.Ready (#2) args: Bool:False
call w add 2 => w.Add = I4:12
call w #1 i2:7 missing => w.Add = I4:17
call w Describe i2:5 i4:5 r8:1.5 bool:false true 1.25 => w.Describe = BStr:"I2:5, I4:5, R8:1.5, Bool:False, Bool:True, R8:1.25"
call w Describe 70000 3000000000 word empty pic:77 obj:form => w.Describe = BStr:"I4:70000, R8:3000000000, BStr:\"word\", Empty, Object:Picture, Object:Form"
call w #0x60030005 obj:w str:"big world" "a \"b\"\\" => w.Describe = BStr:"Object:_Widget, BStr:\"big world\", BStr:\"a \\\"b\\\"\\\\\""
call w Echo "\x01\t\\\"\0\x7f\x9f-é" => w.Echo = BStr:"\x01\t\\\"\0\x7f\x9f-é"
call w Fail "tab\there\x1b[0m" => error 5: tab\there\x1b[0m [VelmoraTest.Widget]
echo a	b => a\tb
call w Echo "\x4" => error: line 12: \x takes two hexadecimal digits: \x4"
call w Echo "a<NUL>b" => error: line 13: a NUL byte at column 15
call w Add 1<NUL> 2 => error: line 14: a NUL byte at column 13
put w Level 9 => changed w.Level (#3)
get w #3 => w.Level = I2:9
call w Fire 4 => event w.Ticked (#1) args: I4:4, BStr:"tick" | w.Fire = I4:4
reply w Ticked 1 i4:42
call w Fire 5 => event w.Ticked (#1) args: I4:5, BStr:"tick" | w.Fire = I4:42
reply w #1 1 str:"nine"
call w Fire 6 => event w.Ticked (#1) args: I4:6, BStr:"tick" | w.Fire = I4:-1
create v VelmoraTest.Widget => event v.Ready (#2) args: Bool:False
call v Keep obj:w
call v Relay 2 => event w.Ticked (#1) args: I4:2, BStr:"tick" | v.Relay = I4:-1
destroy w
call v Relay 3 => v.Relay = I4:3
reply v Nope 1 i4:1 => error: line 27: v has no event Nope
reply v Ticked 3 i4:1 => error: line 28: 3 is not an argument number of that event
reply v Ticked 0 i4:1 => error: line 29: 0 is not an argument number of that event
save v w.bag extra => error: line 30: usage: save <name> <file>
reply v Ticked 1 => error: line 31: usage: reply <name> <event|#dispid> <argument number> <value>
post v 515 -2
call v Add 1 => v.Add = I4:11
wait 0 => event v.Mouse (#3) args: I2:0, I2:0, R8:7725, R8:-30
post v 514
destroy v
wait 0
)",
                   {"-k"},
                   1},
        Transcript{"BagsFormAndDesignMode",
                   R"(create w VelmoraTest.Widget => event w.Ready (#2) args: Bool:False
save w default.bag
put w Level 12 => changed w.Level (#3)
save w w.bag
create v VelmoraTest.Widget w.bag => event v.Ready (#2) args: Bool:True
get v Level => v.Level = I2:12
load v default.bag => event v.Ready (#2) args: Bool:True
get v Level => v.Level = I2:3
load v big.bag => error 6: Overflow [VelmoraTest.Widget]
create u VelmoraTest.Widget text.bag => error 13: Type mismatch [VelmoraTest.Widget]
create u VelmoraTest.Widget bad.bag => error: line 11: bad.bag: line 1: expected 'Name = Type:Value' (Type I2, I4, Bool, R8 or BStr)
load v absent.bag => error: line 12: cannot read absent.bag: No such file or directory
put form visible -1
get form Visible => form.Visible = Bool:True
put form Visible 0
get form Visible => form.Visible = Bool:False
put form Caption "Усилитель"
get v FormCaption => v.FormCaption = BStr:"Усилитель"
resize v 2000 1000 => v size = 465 x 465
get v Placement => v.Placement = BStr:"31 x 31 px on the form, hidden, run mode"
mode design
get v Placement => v.Placement = BStr:"31 x 31 px on the form, hidden, design mode"
create d VelmoraTest.Widget => event d.Ready (#2) args: Bool:False
resize d 15 15 => d size = 465 x 465
get d Placement => d.Placement = BStr:"31 x 31 px on the form, design mode"
call d Nope => error 438: Object doesn't support this property or method [d.Nope]
call x Add 1 => error: line 27: no control named x
call d Add i2:70000 => error: line 28: i2:70000 is not a 16-bit value
call d Echo "open => error: line 29: unterminated quoted text
frobnicate d => error: line 30: unknown command frobnicate
advance 10 => error: line 31: advance needs the manual clock (--manual-clock); use wait for real time
create d VelmoraTest.Widget => error: line 32: the name d is already taken
create z No.Such.Class => error 429: Can't create object: No.Such.Class is not registered [registry]
snapshot d face.png => d snapshot = 31 x 31 face.png
snapshot d nowhere/face.png => error: line 35: cannot write nowhere/face.png: No such file or directory
)",
                   {"--keep-going"},
                   1},
        Transcript{"StopsAtTheFirstError",
                   R"(create w VelmoraTest.Widget => event w.Ready (#2) args: Bool:False
call w Fail => error 5: The widget refuses [VelmoraTest.Widget]
echo not reached
)",
                   {},
                   1},
        Transcript{"ScriptFileOnTheManualClock",
                   "=> event w.Ready (#2) args: Bool:False | event w.Mouse (#3) args: I2:0, I2:0, "
                   "R8:7755, "
                   "R8:45 | w.Add = I4:42",
                   {"--manual-clock", "script.ctl"},
                   0},
        Transcript{"AbsentScript",
                   "",
                   {"absent.ctl"},
                   2,
                   "ctlhost: cannot read absent.ctl: No such file or directory"},
        Transcript{"UnknownOption", "", {"--fast"}, 2, "ctlhost: unknown option --fast"}),
    [](const auto &info) { return std::string(info.param.name); });

// Bags hold what differs from the defaults; snapshots are pictures of the face.
TEST(CtlhostOutput, SaveAndSnapshotWriteTheirFiles) {
    Sandbox box;
    ASSERT_EQ(box.run("REGSVR", {envPath("TESTCTL_LIB")}).code, 0);
    const QByteArray script = "mode design\ncreate w VelmoraTest.Widget\nsave w default.bag\n"
                              "put w Level 12\nsave w w.bag\nresize w 15 15\nsnapshot w face.png\n";
    ASSERT_EQ(box.run("CTLHOST", {}, script).code, 0);
    const auto read = [&](const char *name) {
        QFile f(box.path("work") + QLatin1Char('/') + QLatin1String(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    };
    EXPECT_EQ(read("default.bag"), "") << "defaults are left out";
    EXPECT_EQ(read("w.bag"), "Level = I2:12\n") << "a changed level is saved";
    const QImage face(box.path("work") + QStringLiteral("/face.png"), "PNG");
    EXPECT_EQ(face.size(), QSize(31, 31)) << "the face's picture";
}

TEST(FormObject, CallsAfterTheFormIsGoneFailWithObjectRequired) {
    int argc = 1;
    char name[] = "tools_tests", *argv[] = {name, nullptr};
    QApplication app(argc, argv);
    auto form = std::make_unique<QWidget>();
    const DispatchPtr obj = windowing::makeFormObject(form.get());
    std::vector<Variant> on{Variant::fromBool(true)};
    ASSERT_TRUE(obj->callByName(QStringLiteral("Visible"), InvokeKind::PropertyPut, on));
    ASSERT_TRUE(form->isVisible()) << "the form object reaches the form";
    form.reset();
    const Result<> r = obj->callByName(QStringLiteral("Visible"), InvokeKind::PropertyPut, on);
    EXPECT_EQ(r ? 0 : r.error().number, err::ObjectRequired) << "once the form is gone";
}

// A bag or a picture that is a FIFO, a device or too large: the command fails
// at once saying why, and the script goes on.
struct UnreadableFile {
    const char *name;
    const char *line;
    const char *says;
};

class CtlhostFiles : public ::testing::TestWithParam<UnreadableFile> {};

TEST_P(CtlhostFiles, RefusesAnythingButASmallPlainFile) {
    Sandbox box;
    ASSERT_EQ(box.run("REGSVR", {envPath("TESTCTL_LIB")}).code, 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(box.path("work") + QStringLiteral("/fifo")), 0600), 0);
    box.write("huge.bag", QByteArray(1024 * 1024 + 1, '#'));
    const QByteArray script =
        "create w VelmoraTest.Widget\n" + QByteArray(GetParam().line) + "\necho went on\n";
    const Outcome r = box.run("CTLHOST", {"--keep-going"}, script, 20000);
    EXPECT_EQ(r.out,
              QStringLiteral("event w.Ready (#2) args: Bool:False\nerror: line 2: %1\nwent on\n")
                  .arg(QLatin1String(GetParam().says)));
}

INSTANTIATE_TEST_SUITE_P(
    Ctlhost, CtlhostFiles,
    ::testing::Values(
        UnreadableFile{"LoadAFifo", "load w fifo", "cannot read fifo: a FIFO, not a file"},
        UnreadableFile{"CreateWithAFifo",
                       "create v VelmoraTest.Widget fifo",
                       "cannot read fifo: a FIFO, not a file"},
        UnreadableFile{"LoadADevice",
                       "load w /dev/zero",
                       "cannot read /dev/zero: not a regular file: a device"},
        UnreadableFile{
            "IconOfAFifo", "call w Describe icon:fifo", "cannot read fifo: a FIFO, not a file"},
        UnreadableFile{
            "LoadAHugeBag", "load w huge.bag", "cannot read huge.bag: larger than 1048576 bytes"}),
    [](const auto &info) { return std::string(info.param.name); });

// Read from the file, never loaded. Interface ids: length, then Data1, Data2,
// Data3 little-endian, then Data4. (The bitmap's size is in packres's list.)
TEST(LibraryResources, TheTestLibraryCarriesWhatItsSourcesSay) {
    const auto all = readResources(envPath("TESTCTL_LIB"));
    ASSERT_TRUE(all) << "the resources are readable";
    ASSERT_EQ(all->size(), 5u) << "type library, two interface ids, version, bitmap";
    auto resource = [&](const char *type, const char *name) {
        return findResource(*all, QLatin1String(type), QLatin1String(name)).value_or(QByteArray());
    };
    EXPECT_EQ(resource("CUSTOM", "_IID_WIDGET").toHex(), "10000000217a0c5db4936e4f8a1d2b7e4c90f003")
        << "the default interface's id";
    EXPECT_EQ(resource("CUSTOM", "_SRCIID_WIDGET").toHex(),
              "10000000217a0c5db4936e4f8a1d2b7e4c90f004")
        << "the event interface's id";
    const auto v = VersionBlock::parse(resource("VERSION", "1"));
    ASSERT_TRUE(v) << "a version block";
    EXPECT_EQ(v->major, 2) << "from version.json";
    EXPECT_EQ(v->minor, 5) << "from version.json";
    EXPECT_EQ(v->revision, 7) << "from version.json";
    EXPECT_EQ(v->productVersionText, "2.05.0007") << "from version.json";
    EXPECT_EQ(v->internalName, "testctl") << "from version.json";
    EXPECT_TRUE(v->selfRegister) << "from version.json";
    QFile maps(QStringLiteral("/proc/self/maps"));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    EXPECT_FALSE(maps.readAll().contains("libtools_testctl")) << "read, never loaded";
}

namespace {

// packres run with these arguments: its exit status and a text its output holds.
struct Packed {
    const char *name;
    QStringList args;
    int code;
    const char *text;
};

class Packres : public ::testing::TestWithParam<Packed> {};

QString typelib() {
    return envPath("TESTCTL_SOURCE") + QStringLiteral("/typelib.json");
}

} // namespace

TEST_P(Packres, ListsALibrarysResourcesAndRefusesBadInput) {
    Sandbox box;
    const Outcome r = box.run("PACKRES", GetParam().args);
    EXPECT_EQ(r.code, GetParam().code) << GetParam().name << ": " << r.err.toStdString();
    EXPECT_TRUE((r.out + r.err).contains(QLatin1String(GetParam().text)))
        << GetParam().name << ": " << r.out.toStdString() << r.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Tools, Packres,
    ::testing::Values(
        Packed{
            "List",
            {"--list", envPath("TESTCTL_LIB")},
            0,
            "\nCUSTOM _IID_WIDGET 20\nCUSTOM _SRCIID_WIDGET 20\nVERSION 1 588\nBITMAP 30000 760\n"},
        Packed{"NoColons", {"-o", "out", "TYPELIB-1"}, 1, "does not read TYPE:NAME:SOURCE"},
        Packed{"AbsentSource", {"-o", "out", "BITMAP:1:none.bmp"}, 1, "none.bmp"},
        Packed{"NotABitmap", {"-o", "out", "BITMAP:1:" + typelib()}, 1, "not a BMP file"},
        Packed{"NotAVersion", {"-o", "out", "VERSION:1:" + typelib()}, 1, "unknown key"},
        Packed{"Twice",
               {"-o", "out", "TYPELIB:1:" + typelib(), "typelib:1:" + typelib()},
               1,
               "TYPELIB 1 is given twice"},
        Packed{"NotAGuid", {"-o", "out", "CUSTOM:_IID_X:guid:{nonsense}"}, 1, "is not a GUID"},
        Packed{"NoArguments", {}, 2, "usage: packres"}),
    [](const auto &info) { return std::string(info.param.name); });

// Interface ids: length, then Data1, Data2, Data3 little-endian, then Data4.
TEST(PackresGuid, IsPackedLittleEndian) {
    Sandbox box;
    const QString guid = "CUSTOM:_IID_X:guid:{00112233-4455-6677-8899-aabbccddeeff}";
    ASSERT_EQ(box.run("PACKRES", {"-o", "out", guid}).code, 0);
    QFile blob(box.path("work") + QStringLiteral("/out"));
    ASSERT_TRUE(blob.open(QIODevice::ReadOnly));
    const QByteArray packed = QByteArray::fromHex("100000003322110055447766"
                                                  "8899aabbccddeeff");
    EXPECT_TRUE(blob.readAll().endsWith(packed)) << "length, then the id's fields";
}

namespace {

// A program started under a name of its own (a link to it), as the installed
// one is, with no display and no platform chosen.
struct StartedAs {
    const char *program; // its path, in the environment variable of this name
    const char *name;
    const char *arg;
    const char *firstLine;
};

class CommandLine : public ::testing::TestWithParam<StartedAs> {};

} // namespace

TEST_P(CommandLine, TheFirstLineNamesTheProgramAsItWasStarted) {
    Sandbox box;
    const StartedAs &row = GetParam();
    const QString link = box.path("work") + QLatin1Char('/') + QLatin1String(row.name);
    ASSERT_TRUE(QFile::link(envPath(row.program), link));
    qputenv("STARTED_AS", QFile::encodeName(link));
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        box.env.remove(QLatin1String(name));
    const Outcome r = box.run("STARTED_AS", {QLatin1String(row.arg)});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.section(QLatin1Char('\n'), 0, 0), QLatin1String(row.firstLine));
    EXPECT_EQ(r.err, QString());
}

INSTANTIATE_TEST_SUITE_P(
    Programs, CommandLine,
    ::testing::Values(StartedAs{"REGSVR",
                                "velmora-regsvr",
                                "--help",
                                "usage: velmora-regsvr [--system] [-u] [-s] <library> ..."},
                      StartedAs{
                          "CTLHOST",
                          "velmora-ctlhost",
                          "--help",
                          "usage: velmora-ctlhost [--keep-going] [--manual-clock] [<script> | -]"},
                      StartedAs{"VELMORA", "velmora", "--help", "Usage: velmora"},
                      StartedAs{"VELMORA", "velmora", "--version", "Velmora Version 1.1"}),
    [](const auto &info) {
        return QString(QLatin1String(info.param.name) + QLatin1String(info.param.arg))
            .remove(QLatin1Char('-'))
            .toStdString();
    });
