// ctlhost driving the test control through scripts, compared line for line.
#include "tools_test_support.h"

using namespace toolstest;

namespace {

class Ctlhost : public ::testing::Test {
protected:
    void SetUp() override
    {
        const Outcome r = box.regsvr({envPath("TESTCTL_LIB")});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
    }
    QString file(const char* name) const { return box.path("work") + QLatin1Char('/') + QLatin1String(name); }
    void writeFile(const char* name, const QByteArray& bytes) const
    {
        QFile f(file(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray readFile(const char* name) const
    {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    Sandbox box;
};

} // namespace

TEST_F(Ctlhost, CallsMembersWithTypedArgumentsAndDefaults)
{
    const Outcome r = box.ctlhost(R"(# members by name and by dispid
echo start
create w VelmoraTest.Widget
call w Add 2
call w add 2 i4:5
call w #1 i2:7 missing
call w Greet
call w Greet str:"big world" true
call w Greet "a \"quoted\"\tname"
call w Describe i2:5
call w Describe r8:1.5
call w Describe bool:false
call w Describe 1.25
call w Describe 70000
call w Describe word
call w Describe empty
call w Describe pic:77
call w Describe obj:form
call w #0x60030005 obj:w
get w Level
put w Level 9
get w #3
)");
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral(R"(start
event w.Ready (#2) args: Bool:False
w.Add = I4:12
w.Add = I4:7
w.Add = I4:17
w.Greet = BStr:"Hello, world"
w.Greet = BStr:"HELLO, BIG WORLD"
w.Greet = BStr:"Hello, a \"quoted\"\tname"
w.Describe = BStr:"I2:5"
w.Describe = BStr:"R8:1.5"
w.Describe = BStr:"Bool:False"
w.Describe = BStr:"R8:1.25"
w.Describe = BStr:"I4:70000"
w.Describe = BStr:"BStr:\"word\""
w.Describe = BStr:"Empty"
w.Describe = BStr:"Object:Picture"
w.Describe = BStr:"Object:Form"
w.Describe = BStr:"Object:_Widget"
w.Level = I2:3
changed w.Level (#3)
w.Level = I2:9
)"));
}

TEST_F(Ctlhost, PrintsEventsAndAnswersByReferenceArguments)
{
    const Outcome r = box.ctlhost(R"(create w VelmoraTest.Widget
call w Fire 4
get w LastAnswer
reply w Ticked 1 i4:42
call w Fire 5
get w LastAnswer
reply w #1 1 str:"nine"
call w Fire 6
get w LastAnswer
)");
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral(R"(event w.Ready (#2) args: Bool:False
event w.Ticked (#1) args: I4:4, BStr:"tick"
w.LastAnswer = I4:4
event w.Ticked (#1) args: I4:5, BStr:"tick"
w.LastAnswer = I4:42
event w.Ticked (#1) args: I4:6, BStr:"tick"
w.LastAnswer = I4:-1
)"));
}

TEST_F(Ctlhost, RepliesMustNameAnEventArgument)
{
    const Outcome r = box.ctlhost(R"(create w VelmoraTest.Widget
reply w Nope 1 i4:1
reply w Ticked 3 i4:1
reply w Ticked 0 i4:1
reply w Ticked 1
)", {QStringLiteral("--keep-going")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, QStringLiteral(R"(event w.Ready (#2) args: Bool:False
error: line 2: w has no event Nope
error: line 3: 3 is not an argument number of that event
error: line 4: 0 is not an argument number of that event
error: line 5: usage: reply <name> <event|#dispid> <argument number> <value>
)"));
}

TEST_F(Ctlhost, SavesAndLoadsPropertyBags)
{
    writeFile("big.bag", "Level = I4:99999\n");
    writeFile("bad.bag", "Level is twelve\n");
    const QString script = QStringLiteral(R"(create w VelmoraTest.Widget
save w default.bag
put w Level 12
save w w.bag
create v VelmoraTest.Widget w.bag
get v Level
load v default.bag
get v Level
load v big.bag
)");
    Outcome r = box.ctlhost(script.toUtf8(), {QStringLiteral("--keep-going")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, QStringLiteral(R"(event w.Ready (#2) args: Bool:False
changed w.Level (#3)
event v.Ready (#2) args: Bool:True
v.Level = I2:12
event v.Ready (#2) args: Bool:True
v.Level = I2:3
error 6: Overflow [VelmoraTest.Widget]
)"));
    // A property at its default is left out of the bag.
    EXPECT_EQ(readFile("default.bag"), QByteArray());
    EXPECT_EQ(readFile("w.bag"), QByteArray("Level = I2:12\n"));

    r = box.ctlhost("create w VelmoraTest.Widget bad.bag\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("error: line 1: bad.bag: "))) << r.out.toStdString();
}

TEST_F(Ctlhost, ReachesTheFormAndFollowsTheMode)
{
    const Outcome r = box.ctlhost(R"(get form Visible
put form Caption "Amplifier panel"
create w VelmoraTest.Widget
get w FormCaption
call w ShowForm true
get form Visible
get w UserMode
mode design
get w UserMode
resize w 2000 1000
)");
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral(R"(form.Visible = Bool:False
event w.Ready (#2) args: Bool:False
w.FormCaption = BStr:"Amplifier panel"
form.Visible = Bool:True
w.UserMode = Bool:True
w.UserMode = Bool:False
w size = 465 x 465
)"));
}

TEST_F(Ctlhost, StopsAtTheFirstFailureUnlessToldToKeepGoing)
{
    const QByteArray script = R"(create w VelmoraTest.Widget
call w Fail
call w Nope
call w Describe
call x Add 1
call w Add i2:70000
call w Greet "open
frobnicate w
advance 10
create w VelmoraTest.Widget
create z No.Such.Class
call w Add 1 2 3
echo done
)";
    Outcome r = box.ctlhost(script);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, QStringLiteral("event w.Ready (#2) args: Bool:False\n"
                                    "error 5: The widget refuses [VelmoraTest.Widget]\n"));

    r = box.ctlhost(script, {QStringLiteral("--keep-going")});
    EXPECT_EQ(r.code, 1);
    const QStringList lines = r.out.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 14) << r.out.toStdString();
    EXPECT_EQ(lines[1], QStringLiteral("error 5: The widget refuses [VelmoraTest.Widget]"));
    EXPECT_EQ(lines[2], QStringLiteral("error 438: Object doesn't support this property or method [w.Nope]"));
    EXPECT_EQ(lines[3], QStringLiteral("error 449: Argument not optional [VelmoraTest.Widget]"));
    EXPECT_EQ(lines[4], QStringLiteral("error: line 5: no control named x"));
    EXPECT_EQ(lines[5], QStringLiteral("error: line 6: i2:70000 is not a 16-bit value"));
    EXPECT_EQ(lines[6], QStringLiteral("error: line 7: unterminated quoted text"));
    EXPECT_EQ(lines[7], QStringLiteral("error: line 8: unknown command frobnicate"));
    EXPECT_TRUE(lines[8].startsWith(QStringLiteral("error: line 9: advance needs the manual clock"))) << lines[8].toStdString();
    EXPECT_EQ(lines[9], QStringLiteral("error: line 10: the name w is already taken"));
    EXPECT_TRUE(lines[10].startsWith(QStringLiteral("error 429: "))) << lines[10].toStdString();
    EXPECT_TRUE(lines[10].contains(QStringLiteral("No.Such.Class"))) << lines[10].toStdString();
    EXPECT_EQ(lines[11], QStringLiteral("error 450: Wrong number of arguments or invalid property assignment [VelmoraTest.Widget]"));
    EXPECT_EQ(lines[12], QStringLiteral("done"));
}

TEST_F(Ctlhost, ADamagedRegistryEntryIsNamedWhenCreating)
{
    const QStringList entries = QDir(box.registry()).entryList(QDir::Files);
    ASSERT_EQ(entries.size(), 1);
    const QString entry = box.registry() + QLatin1Char('/') + entries[0];
    QFile f(entry);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("this is not a class registration\n");
    f.close();

    const Outcome r = box.ctlhost("create w VelmoraTest.Widget\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("error 429: "))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(entry)) << r.out.toStdString();
}

TEST_F(Ctlhost, RunsScriptFilesAndTheManualClock)
{
    writeFile("script.ctl", "create w VelmoraTest.Widget\nwait 0\nadvance 1000\ncall w Add 40 2\n");
    Outcome r = box.ctlhost({}, {QStringLiteral("--manual-clock"), file("script.ctl")});
    EXPECT_EQ(r.code, 0) << r.out.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("event w.Ready (#2) args: Bool:False\nw.Add = I4:42\n"));

    r = box.ctlhost({}, {file("absent.ctl")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("cannot read %1").arg(file("absent.ctl")))) << r.err.toStdString();
    r = box.ctlhost({}, {QStringLiteral("--fast")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("unknown option --fast")));
}
