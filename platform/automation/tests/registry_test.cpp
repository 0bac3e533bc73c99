#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "automation/registry.h"
#include "automation/server.h"

using namespace automation;

namespace {

ClassRegistration sample(const char *progId, const char *clsid,
                         const QString &library = QStringLiteral("/opt/x/libsample.so")) {
    ClassRegistration r;
    r.clsid = QUuid::fromString(QLatin1String(clsid));
    r.progId = QLatin1String(progId);
    r.name = QStringLiteral("Sample");
    r.library = library;
    r.miscStatus = 0x20591;
    r.toolboxBitmap = QStringLiteral("/opt/x/libsample.so,30000");
    r.typeLib = QUuid::fromString(QLatin1String("{11111111-2222-3333-4444-555555555555}"));
    r.typeLibVersion = QStringLiteral("76.0");
    return r;
}

QString testControl() {
    return QString::fromLocal8Bit(qgetenv("TESTCONTROL_LIB"));
}

// Warnings of the automation category, as the registry reports them.
QStringList g_warnings;
void collectWarnings(QtMsgType type, const QMessageLogContext &context, const QString &text) {
    if (type == QtWarningMsg &&
        QLatin1String(context.category) == QLatin1String("velmora.automation"))
        g_warnings << text;
}

// Each test gets registries of its own: a private user and system folder.
class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qunsetenv("VELMORA_REGISTRY");
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        qputenv("VELMORA_SYSTEM_REGISTRY", QFile::encodeName(system.path()));
        QDir().mkpath(registry::userDir());
    }
    void TearDown() override {
        qunsetenv("VELMORA_SYSTEM_REGISTRY");
        qunsetenv("VELMORA_REGISTRY");
        registry::setDefaultScope(registry::Scope::User);
    }
    QString userEntry(const char *name) const {
        return registry::userDir() + QLatin1Char('/') + QLatin1String(name);
    }
    void writeEntry(const QString &file, const QByteArray &text) const {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QTemporaryDir home, system;
};

} // namespace

TEST_F(RegistryTest, EntriesAreFoundByProgIdInAnyCaseOrByClassIdAndUserOnesOverlayTheSystemOnes) {
    auto sys = sample("lib.Thing", "{0a0b0c0d-0000-4000-8000-000000000002}");
    ASSERT_TRUE(registry::add(sys, registry::Scope::System).ok());
    ASSERT_TRUE(registry::add(sample("lib.Other", "{0a0b0c0d-0000-4000-8000-000000000003}"),
                              registry::Scope::System)
                    .ok());
    auto user = sys;
    user.library = QStringLiteral("/home/u/libthing.so");
    ASSERT_TRUE(registry::add(user, registry::Scope::User).ok());

    EXPECT_EQ(registry::findByProgId(QStringLiteral("lib.Thing"))->library,
              QStringLiteral("/home/u/libthing.so"));
    EXPECT_EQ(registry::findByClsid(sys.clsid)->library, QStringLiteral("/home/u/libthing.so"));
    EXPECT_EQ(
        registry::findByProgId(QStringLiteral("LIB.other")).value_or(ClassRegistration()).library,
        QStringLiteral("/opt/x/libsample.so"));
    EXPECT_EQ(registry::all()->size(), 2u);
}

TEST_F(RegistryTest, EveryDamagedEntryIsAnErrorNamingItsFile) {
    const char *clsid = "0a0b0c0d-0000-4000-8000-000000000004";
    const QString file = userEntry("0a0b0c0d-0000-4000-8000-000000000004.class");
    const QByteArray garbage =
        "CLSID={0a0b0c0d-0000-4000-8000-000000000004}\nProgID=lib.Broken\n\x01garbage\n";
    const struct {
        const char *what;
        std::function<void()> make;
    } cases[] = {
        {"garbage",
         [&] {
             writeEntry(file, garbage);
         }},
        {"a folder, not a file",
         [&] {
             QDir().mkpath(file);
         }},
        {"a FIFO, not a file",
         [&] {
             ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
         }},
        {"a symbolic link to a missing file",
         [&] {
             QFile::link(home.filePath(QStringLiteral("gone")), file);
         }},
        {"larger than",
         [&] {
             writeEntry(file, QByteArray(100000, '#'));
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        c.make();
        auto byClsid = registry::findByClsid(QUuid::fromString(QLatin1String(clsid)));
        ASSERT_FALSE(byClsid);
        EXPECT_TRUE(byClsid.error().description.contains(file))
            << byClsid.error().description.toStdString();
        if (QLatin1String(c.what) != QLatin1String("garbage")) {
            EXPECT_TRUE(byClsid.error().description.contains(QLatin1String(c.what)))
                << byClsid.error().description.toStdString();
        }
        auto byProgId = registry::findByProgId(QStringLiteral("lib.Broken"));
        ASSERT_FALSE(byProgId);
        EXPECT_TRUE(byProgId.error().description.contains(file))
            << byProgId.error().description.toStdString();
        EXPECT_FALSE(registry::all());

        // A healthy entry beside it is still found.
        ASSERT_TRUE(
            registry::add(sample("lib.Fine", "{0a0b0c0d-0000-4000-8000-000000000005}")).ok());
        EXPECT_TRUE(registry::findByProgId(QStringLiteral("lib.Fine")));
        QFileInfo(file).isDir() ? QDir(file).removeRecursively() : QFile::remove(file);
    }
}

TEST_F(RegistryTest, AProgIdClaimedTwiceResolvesToAUsableEntryAndReportsTheOther) {
    // The first file by name points at a missing library; the second is usable.
    const QString broken = userEntry("0a0b0c0d-0000-4000-8000-000000000008.class");
    ASSERT_TRUE(registry::add(sample("lib.Twice", "{0a0b0c0d-0000-4000-8000-000000000008}")).ok());
    ASSERT_TRUE(
        registry::add(sample("lib.Twice", "{0a0b0c0d-0000-4000-8000-000000000009}", testControl()))
            .ok());
    const QString damaged = userEntry("0a0b0c0d-0000-4000-8000-000000000007.class");
    writeEntry(damaged, "ProgID=lib.Twice\nnonsense\n");

    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
    auto found = registry::findByProgId(QStringLiteral("lib.Twice"));
    qInstallMessageHandler(previous);
    ASSERT_TRUE(found) << found.error().description.toStdString();
    EXPECT_EQ(found->library, testControl());
    ASSERT_EQ(g_warnings.size(), 2) << g_warnings.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(g_warnings[0].contains(broken) &&
                g_warnings[0].contains(QStringLiteral("/opt/x/libsample.so")));
    EXPECT_TRUE(g_warnings[1].contains(damaged));
}

TEST_F(RegistryTest, ControlLibrariesRegisterThemselvesAndAreCreatedByProgIdOrClassId) {
    // $VELMORA_REGISTRY replaces both folders, the system one too.
    QTemporaryDir own;
    qputenv("VELMORA_REGISTRY", QFile::encodeName(own.path()));
    registry::setDefaultScope(registry::Scope::System);
    auto lib = loadLibrary(testControl());
    ASSERT_TRUE(lib) << lib.error().description.toStdString();
    ASSERT_TRUE(lib->registerServer());
    auto reg = registry::findByProgId(QStringLiteral("TestLib.Counter"));
    ASSERT_TRUE(reg);

    auto a = createObject(QStringLiteral("TestLib.Counter"));
    ASSERT_TRUE(a) << a.error().description.toStdString();
    auto b = createObject(reg->clsid.toString());
    ASSERT_TRUE(b);
    EXPECT_EQ((*a)->call(1, {Variant(std::int32_t(5))}).value(), Variant(std::int32_t(5)));
    EXPECT_EQ((*a)->call(1).value(), Variant(std::int32_t(6))); // optional By defaults to 1
    EXPECT_EQ((*b)->get(2).value(), Variant(std::int32_t(0)));  // instances are separate
    EXPECT_FALSE(lib->canUnloadNow());

    ASSERT_TRUE(lib->unregisterServer());
    a = createObject(QStringLiteral("TestLib.Counter"));
    ASSERT_FALSE(a);
    EXPECT_EQ(a.error().number, err::CannotCreateObject);
}

TEST_F(RegistryTest, AFailedSelfRegistrationBringsTheLibrarysReasonToTheHost) {
    auto lib = loadLibrary(testControl());
    ASSERT_TRUE(lib);
    // No registry folder can be made below a file.
    const QString blocker = home.filePath(QStringLiteral("file"));
    writeEntry(blocker, "x");
    qputenv("VELMORA_REGISTRY", QFile::encodeName(blocker + QStringLiteral("/registry")));
    Result<> r = lib->registerServer();
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().number, err::PathNotFound);
    EXPECT_EQ(r.error().description,
              QStringLiteral("DllRegisterServer in %1 failed with 0x80040201: "
                             "Cannot create the registry folder %2/registry")
                  .arg(lib->path, blocker));

    // An entry that cannot be removed: a folder, with something in it, in its place.
    qputenv("VELMORA_REGISTRY", QFile::encodeName(home.path()));
    QDir().mkpath(home.filePath(QStringLiteral("3f0e6a52-6f41-4b7e-9a38-0d3c3f2f8a11.class/x")));
    r = lib->unregisterServer();
    ASSERT_FALSE(r);
    EXPECT_TRUE(r.error().description.startsWith(
        QStringLiteral("DllUnregisterServer in %1 failed with 0x80040201: Cannot remove")
            .arg(lib->path)))
        << r.error().description.toStdString();
}

TEST_F(RegistryTest, WhatCannotBeCreatedFailsSayingWhy) {
    // A registration whose library is no library fails at creation, naming the file.
    const QString notElf = home.filePath(QStringLiteral("fake.so"));
    writeEntry(notElf, "not a library");
    ASSERT_TRUE(
        registry::add(sample("lib.Fake", "{0a0b0c0d-0000-4000-8000-000000000007}", notElf)).ok());
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("lib.Fake"), notElf},
        {QStringLiteral("{not-a-guid"), QStringLiteral("not a class id")},
    };
    for (const auto &[name, why] : cases) {
        auto r = createObject(name);
        ASSERT_FALSE(r) << name.toStdString();
        EXPECT_EQ(r.error().number, err::CannotCreateObject);
        EXPECT_TRUE(r.error().description.contains(why)) << r.error().description.toStdString();
    }
}

namespace {

// One class registered for the user and for the system, each library present
// or not; which registration a look-up finds, and the warnings it gives.
struct Shadowing {
    const char *name;
    bool userLibrary, systemLibrary;
    const char *found; // "user" or "system"
    bool warned;
};

class RegistryShadowing
    : public RegistryTest,
      public ::testing::WithParamInterface<std::tuple<Shadowing, const char *>> {
  protected:
    Result<ClassRegistration> lookUp(const ClassRegistration &reg) const {
        if (QLatin1String(std::get<1>(GetParam())) == QLatin1String("byClsid"))
            return registry::findByClsid(reg.clsid);
        return registry::findByProgId(reg.progId);
    }
    QString library(const char *name, bool present) const {
        const QString path = home.filePath(QLatin1String(name));
        if (present)
            writeEntry(path, "a library");
        return path;
    }
};

} // namespace

TEST_P(RegistryShadowing, AUsersRegistrationWithItsLibraryGoneGivesWayToTheSystems) {
    const Shadowing &row = std::get<0>(GetParam());
    auto user = sample("lib.Shadowed", "{0a0b0c0d-0000-4000-8000-00000000000a}");
    auto system = user;
    user.library = library("user.so", row.userLibrary);
    system.library = library("system.so", row.systemLibrary);
    ASSERT_TRUE(registry::add(system, registry::Scope::System).ok());
    ASSERT_TRUE(registry::add(user, registry::Scope::User).ok());

    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
    const auto reg = lookUp(user);
    qInstallMessageHandler(previous);
    ASSERT_TRUE(reg) << reg.error().description.toStdString();
    const bool bySystem = QLatin1String(row.found) == QLatin1String("system");
    EXPECT_EQ(reg->library.toStdString(), (bySystem ? system : user).library.toStdString());
    if (!row.warned) {
        EXPECT_TRUE(g_warnings.isEmpty()) << g_warnings.join(QLatin1Char('\n')).toStdString();
        return;
    }
    ASSERT_EQ(g_warnings.size(), 1) << g_warnings.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(g_warnings[0].contains(user.library)) << g_warnings[0].toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, RegistryShadowing,
    ::testing::Combine(::testing::Values(Shadowing{"userGone", false, true, "system", true},
                                         Shadowing{"bothPresent", true, true, "user", false},
                                         Shadowing{"bothGone", false, false, "user", false},
                                         Shadowing{"systemGone", true, false, "user", false}),
                       ::testing::Values("byProgId", "byClsid")),
    [](const auto &info) {
        return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param);
    });

namespace {

// A registration whose library cannot serve it: creating the class fails
// naming the class file that points there (the file to fix) and saying why.
enum class Library { Missing, Text, Folder, Fifo, NotAControlLibrary, OtherClasses };
struct BadLibrary {
    const char *name;
    Library kind;
    const char *says;
};

class RegistryBadLibrary : public RegistryTest, public ::testing::WithParamInterface<BadLibrary> {
  protected:
    // Where the row's library lies, made as the row says.
    QString make(Library kind) const {
        const QString path = home.filePath(QStringLiteral("libbad.so"));
        if (kind == Library::Text)
            writeEntry(path, "not a library");
        if (kind == Library::Folder)
            QDir().mkpath(path);
        if (kind == Library::Fifo)
            ::mkfifo(QFile::encodeName(path).constData(), 0600);
        if (kind == Library::NotAControlLibrary)
            return qEnvironmentVariable("VELMORA_BUILD_DIR") + "/lib/libvelmora_automation.so";
        if (kind == Library::OtherClasses)
            return testControl();
        return path;
    }
};

} // namespace

TEST_P(RegistryBadLibrary, CreatingItNamesTheClassFile) {
    const BadLibrary &row = GetParam();
    const char *clsid = "{0a0b0c0d-0000-4000-8000-00000000000b}";
    ASSERT_TRUE(registry::add(sample("lib.Bad", clsid, make(row.kind))).ok());
    const QString file = userEntry("0a0b0c0d-0000-4000-8000-00000000000b.class");
    const auto created = createObject(QStringLiteral("lib.Bad"));
    ASSERT_FALSE(created) << row.name;
    const QString text = created.error().description;
    EXPECT_TRUE(text.contains(file)) << row.name << ": the class file in " << text.toStdString();
    EXPECT_TRUE(text.contains(QLatin1String(row.says)))
        << row.name << ": why, in " << text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Loader, RegistryBadLibrary,
    ::testing::Values(BadLibrary{"Missing", Library::Missing, "no such file"},
                      BadLibrary{"Text", Library::Text, "libbad.so: "},
                      BadLibrary{"Folder", Library::Folder, "a folder, not a file"},
                      BadLibrary{"Fifo", Library::Fifo, "a FIFO, not a file"},
                      BadLibrary{"NotAControlLibrary",
                                 Library::NotAControlLibrary,
                                 "it is not a control library"},
                      BadLibrary{"OtherClasses", Library::OtherClasses, "does not serve class"}),
    [](const auto &info) { return std::string(info.param.name); });
