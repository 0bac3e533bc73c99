#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <dlfcn.h>

#include "automation/registry.h"
#include "automation/server.h"

using namespace automation;

namespace {

ClassRegistration sample(const char* progId, const char* clsid)
{
    ClassRegistration r;
    r.clsid = QUuid::fromString(QLatin1String(clsid));
    r.progId = QLatin1String(progId);
    r.name = QStringLiteral("Sample");
    r.library = QStringLiteral("/opt/x/libsample.so");
    r.miscStatus = 0x20591;
    r.toolboxBitmap = QStringLiteral("/opt/x/libsample.so,30000");
    r.typeLib = QUuid::fromString(QLatin1String("{11111111-2222-3333-4444-555555555555}"));
    r.typeLibVersion = QStringLiteral("76.0");
    return r;
}

// Each test gets registries of its own: a private user and system folder.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qunsetenv("VELMORA_REGISTRY");
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        qputenv("VELMORA_SYSTEM_REGISTRY", QFile::encodeName(system.path()));
    }
    void TearDown() override
    {
        qunsetenv("VELMORA_SYSTEM_REGISTRY");
        qunsetenv("VELMORA_REGISTRY");
        registry::setDefaultScope(registry::Scope::User);
    }
    QTemporaryDir home, system;
};

} // namespace

TEST_F(RegistryTest, EntriesRoundTripAndAreFoundByProgIdOrClassId)
{
    const auto reg = sample("lib.Thing", "{0a0b0c0d-0000-4000-8000-000000000001}");
    ASSERT_TRUE(registry::add(reg).ok());
    const QString file = home.path() + QStringLiteral("/velmora/registry/0a0b0c0d-0000-4000-8000-000000000001.class");
    ASSERT_TRUE(QFile::exists(file));

    Error e;
    auto found = registry::findByProgId(QStringLiteral("LIB.thing"), &e);
    ASSERT_TRUE(found) << e.description.toStdString();
    EXPECT_EQ(found->toText(), reg.toText());
    EXPECT_EQ(found->miscStatus, 0x20591u);
    EXPECT_TRUE(found->control);
    EXPECT_TRUE(registry::findByClsid(reg.clsid));

    ASSERT_TRUE(registry::remove(reg.clsid).ok());
    EXPECT_FALSE(registry::findByProgId(QStringLiteral("lib.Thing"), &e));
    EXPECT_EQ(e.number, err::CannotCreateObject);
    EXPECT_TRUE(e.description.contains(QStringLiteral("lib.Thing")));
    EXPECT_TRUE(registry::remove(reg.clsid).ok());  // removing again succeeds
}

TEST_F(RegistryTest, UserEntriesOverlayTheSystemOnes)
{
    auto sys = sample("lib.Thing", "{0a0b0c0d-0000-4000-8000-000000000002}");
    ASSERT_TRUE(registry::add(sys, registry::Scope::System).ok());
    auto other = sample("lib.Other", "{0a0b0c0d-0000-4000-8000-000000000003}");
    ASSERT_TRUE(registry::add(other, registry::Scope::System).ok());
    auto user = sys;
    user.library = QStringLiteral("/home/u/libthing.so");
    ASSERT_TRUE(registry::add(user, registry::Scope::User).ok());

    EXPECT_EQ(registry::findByProgId(QStringLiteral("lib.Thing"))->library, QStringLiteral("/home/u/libthing.so"));
    EXPECT_EQ(registry::findByClsid(sys.clsid)->library, QStringLiteral("/home/u/libthing.so"));
    EXPECT_EQ(registry::findByProgId(QStringLiteral("lib.Other"))->library, QStringLiteral("/opt/x/libsample.so"));
    EXPECT_EQ(registry::all().size(), 2u);
}

TEST_F(RegistryTest, ADamagedEntryIsAnErrorNamingItsFile)
{
    const QString dir = registry::userDir();
    QDir().mkpath(dir);
    const QString bad = dir + QStringLiteral("/0a0b0c0d-0000-4000-8000-000000000004.class");
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("CLSID={0a0b0c0d-0000-4000-8000-000000000004}\nProgID=lib.Broken\n\x01garbage\n");
    f.close();

    Error e;
    EXPECT_FALSE(registry::findByProgId(QStringLiteral("lib.Broken"), &e));
    EXPECT_TRUE(e.description.contains(bad)) << e.description.toStdString();
    EXPECT_FALSE(registry::findByClsid(QUuid::fromString(QLatin1String("{0a0b0c0d-0000-4000-8000-000000000004}")), &e));
    EXPECT_TRUE(e.description.contains(bad));

    // A healthy entry beside it is still found.
    ASSERT_TRUE(registry::add(sample("lib.Fine", "{0a0b0c0d-0000-4000-8000-000000000005}")).ok());
    EXPECT_TRUE(registry::findByProgId(QStringLiteral("lib.Fine")));
}

TEST_F(RegistryTest, VelmoraRegistryReplacesBothFolders)
{
    QTemporaryDir own;
    qputenv("VELMORA_REGISTRY", QFile::encodeName(own.path()));
    ASSERT_TRUE(registry::add(sample("lib.Own", "{0a0b0c0d-0000-4000-8000-000000000006}"), registry::Scope::System).ok());
    EXPECT_TRUE(QFile::exists(own.path() + QStringLiteral("/0a0b0c0d-0000-4000-8000-000000000006.class")));
    EXPECT_TRUE(QDir(system.path()).isEmpty());
    EXPECT_TRUE(registry::findByProgId(QStringLiteral("lib.Own")));
}

TEST_F(RegistryTest, ControlLibrariesRegisterThemselvesAndAreCreatedByProgIdOrClassId)
{
    QTemporaryDir own;
    qputenv("VELMORA_REGISTRY", QFile::encodeName(own.path()));
    const QString path = QString::fromLocal8Bit(qgetenv("TESTCONTROL_LIB"));
    ASSERT_FALSE(path.isEmpty());

    Error e;
    auto lib = loadLibrary(path, &e);
    ASSERT_TRUE(lib) << e.description.toStdString();
    ASSERT_EQ(lib->registerServer(), hr::Ok);
    auto reg = registry::findByProgId(QStringLiteral("TestLib.Counter"), &e);
    ASSERT_TRUE(reg);
    EXPECT_EQ(reg->library, QFileInfo(path).canonicalFilePath());
    EXPECT_EQ(reg->toolboxBitmap, QFileInfo(path).canonicalFilePath() + QStringLiteral(",30000"));
    EXPECT_EQ(reg->miscStatus, 0x20591u);

    ControlPtr a = createObject(QStringLiteral("TestLib.Counter"), &e);
    ASSERT_TRUE(a) << e.description.toStdString();
    ControlPtr b = createObject(reg->clsid.toString(), &e);
    ASSERT_TRUE(b);
    EXPECT_EQ(a->call(1, {Variant(std::int32_t(5))}).value(), Variant(std::int32_t(5)));
    EXPECT_EQ(a->call(1).value(), Variant(std::int32_t(6)));  // optional By defaults to 1
    EXPECT_EQ(b->get(2).value(), Variant(std::int32_t(0)));    // instances are separate
    EXPECT_EQ(lib->canUnloadNow(), hr::False);

    // Loaded once, and kept loaded.
    void* h = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(h, nullptr);
    dlclose(h);

    ASSERT_EQ(lib->unregisterServer(), hr::Ok);
    EXPECT_FALSE(createObject(QStringLiteral("TestLib.Counter"), &e));
    EXPECT_EQ(e.number, err::CannotCreateObject);
}

TEST_F(RegistryTest, LoadingSomethingThatIsNotAControlLibraryFailsClearly)
{
    Error e;
    EXPECT_FALSE(loadLibrary(QStringLiteral("/nonexistent/libnothing.so"), &e));
    EXPECT_TRUE(e.description.contains(QStringLiteral("no such file")));
    QFile notElf(home.path() + QStringLiteral("/fake.so"));
    ASSERT_TRUE(notElf.open(QIODevice::WriteOnly));
    notElf.write("not a library");
    notElf.close();
    EXPECT_FALSE(loadLibrary(notElf.fileName(), &e));
    EXPECT_TRUE(e.description.contains(notElf.fileName()));

    // A registration that points at a missing file fails at creation, naming it.
    QTemporaryDir own;
    qputenv("VELMORA_REGISTRY", QFile::encodeName(own.path()));
    ASSERT_TRUE(registry::add(sample("lib.Gone", "{0a0b0c0d-0000-4000-8000-000000000007}")).ok());
    EXPECT_FALSE(createObject(QStringLiteral("lib.Gone"), &e));
    EXPECT_TRUE(e.description.contains(QStringLiteral("/opt/x/libsample.so")));
    EXPECT_FALSE(createObject(QStringLiteral("{not-a-guid"), &e));
    EXPECT_EQ(e.number, err::CannotCreateObject);
}
