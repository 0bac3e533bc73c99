#include "tools_test_support.h"

#include "automation/registry.h"

using namespace automation;
using namespace toolstest;

namespace {

QString library() { return QFileInfo(envPath("TESTCTL_LIB")).canonicalFilePath(); }

// Looks the class up as a host would, in the sandbox's private registry.
Result<ClassRegistration> lookUp(const Sandbox& box)
{
    qputenv("VELMORA_REGISTRY", QFile::encodeName(box.registry()));
    auto reg = registry::findByProgId(QStringLiteral("VelmoraTest.Widget"));
    qunsetenv("VELMORA_REGISTRY");
    return reg;
}

} // namespace

TEST(Regsvr, RegistersTheLibrarysClassesAndUnregistersThem)
{
    Sandbox box;
    Outcome r = box.regsvr({envPath("TESTCTL_LIB")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("Registered %1 (%2)\n").arg(library(), box.registry()));
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();

    auto reg = lookUp(box);
    ASSERT_TRUE(reg);
    EXPECT_EQ(reg->clsid, QUuid::fromString(QLatin1String("{5d0c7a21-93b4-4f6e-8a1d-2b7e4c90f002}")));
    EXPECT_EQ(reg->name, QStringLiteral("Widget"));
    EXPECT_EQ(reg->library, library());
    EXPECT_EQ(reg->threadingModel, QStringLiteral("Apartment"));
    EXPECT_EQ(reg->miscStatus, 0x20591u);
    EXPECT_EQ(reg->typeLib, QUuid::fromString(QLatin1String("{5d0c7a21-93b4-4f6e-8a1d-2b7e4c90f001}")));
    EXPECT_EQ(reg->typeLibVersion, QStringLiteral("2.5"));
    EXPECT_TRUE(reg->control);

    // Registering again replaces the entry; silent mode prints nothing.
    r = box.regsvr({QStringLiteral("-s"), envPath("TESTCTL_LIB")});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(QDir(box.registry()).entryList(QDir::Files).size(), 1);

    r = box.regsvr({QStringLiteral("-u"), envPath("TESTCTL_LIB")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("Unregistered %1 (%2)\n").arg(library(), box.registry()));
    EXPECT_FALSE(lookUp(box));
    EXPECT_TRUE(QDir(box.registry()).entryList(QDir::Files).isEmpty());

    // Unregistering what is not registered succeeds.
    EXPECT_EQ(box.regsvr({QStringLiteral("-u"), envPath("TESTCTL_LIB")}).code, 0);
}

TEST(Regsvr, SystemOptionWritesTheSystemRegistry)
{
    Sandbox box;
    Outcome r = box.regsvr({QStringLiteral("--system"), envPath("TESTCTL_LIB")}, false);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(QDir(box.path("system")).entryList(QDir::Files).size(), 1);
    EXPECT_FALSE(QDir(box.path("data") + QStringLiteral("/velmora/registry")).exists());

    r = box.regsvr({envPath("TESTCTL_LIB")}, false);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(QDir(box.path("data") + QStringLiteral("/velmora/registry")).entryList(QDir::Files).size(), 1);

    r = box.regsvr({QStringLiteral("--system"), QStringLiteral("-u"), envPath("TESTCTL_LIB")}, false);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(QDir(box.path("system")).entryList(QDir::Files).isEmpty());
}

TEST(Regsvr, FailuresSayWhyAndExitNonZero)
{
    Sandbox box;
    const QString missing = box.path("work") + QStringLiteral("/nowhere.so");
    Outcome r = box.regsvr({missing});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("regsvr: "))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("nowhere.so"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("no such file"))) << r.err.toStdString();

    const QString text = box.path("work") + QStringLiteral("/notes.so");
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a library\n");
    f.close();
    r = box.regsvr({text});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("notes.so"))) << r.err.toStdString();

    // A real shared library that serves no controls.
    const QString plain = envPath("VELMORA_BUILD_DIR") + QStringLiteral("/lib/libvelmora_automation.so");
    r = box.regsvr({plain});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("not a control library"))) << r.err.toStdString();

    // The registry cannot be written: the library's own registration fails.
    Sandbox blocked;
    blocked.extra.emplace_back(QStringLiteral("VELMORA_REGISTRY"), text + QStringLiteral("/registry"));
    r = blocked.regsvr({envPath("TESTCTL_LIB")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("DllRegisterServer in %1 failed with 0x80040201").arg(library())))
        << r.err.toStdString();

    // One bad library among good ones still fails the run, after doing the rest.
    r = box.regsvr({missing, envPath("TESTCTL_LIB")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Registered "))) << r.out.toStdString();
}

TEST(Regsvr, BadUsageIsExplained)
{
    Sandbox box;
    Outcome r = box.regsvr({});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("no library given"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("usage: regsvr")));
    r = box.regsvr({QStringLiteral("--frobnicate"), envPath("TESTCTL_LIB")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("unknown option --frobnicate"))) << r.err.toStdString();
    EXPECT_TRUE(QDir(box.registry()).entryList(QDir::Files).isEmpty());
}
