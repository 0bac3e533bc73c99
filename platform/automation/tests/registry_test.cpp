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
              QStringLiteral("/home/u/libthing.so"))
        << "by ProgID, the user\'s";
    EXPECT_EQ(registry::findByClsid(sys.clsid)->library, QStringLiteral("/home/u/libthing.so"))
        << "by class id, the user's";
    EXPECT_EQ(
        registry::findByProgId(QStringLiteral("LIB.other")).value_or(ClassRegistration()).library,
        QStringLiteral("/opt/x/libsample.so"))
        << "a ProgID in another case, the system\'s";
    EXPECT_EQ(registry::all()->size(), 2u) << "one entry per class, the overlaid one once";
}

// A damaged entry in the user's registry: how it is damaged, and what the
// error on looking it up says besides its file's name ("" nothing more).
enum class Damage { Garbage, Folder, Fifo, DanglingLink, Huge };
struct DamagedEntry {
    const char *name;
    Damage damage;
    const char *says;
};

class RegistryDamage : public RegistryTest, public ::testing::WithParamInterface<DamagedEntry> {
  protected:
    void damage(Damage d, const QString &file) const {
        if (d == Damage::Garbage)
            writeEntry(file,
                       "CLSID={0a0b0c0d-0000-4000-8000-000000000004}\nProgID=lib.Broken\n\x01?\n");
        if (d == Damage::Folder)
            QDir().mkpath(file);
        if (d == Damage::Fifo) {
            ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        }
        if (d == Damage::DanglingLink)
            QFile::link(home.filePath(QStringLiteral("gone")), file);
        if (d == Damage::Huge)
            writeEntry(file, QByteArray(100000, '#'));
    }
};

TEST_P(RegistryDamage, IsAnErrorNamingItsFileAndHidesNoOtherEntry) {
    const DamagedEntry &c = GetParam();
    const QString file = userEntry("0a0b0c0d-0000-4000-8000-000000000004.class");
    damage(c.damage, file);
    const auto byClsid = registry::findByClsid(
        QUuid::fromString(QLatin1String("{0a0b0c0d-0000-4000-8000-000000000004}")));
    ASSERT_FALSE(byClsid) << c.name << ": found by class id";
    EXPECT_TRUE(byClsid.error().description.contains(file))
        << c.name << ": " << byClsid.error().description.toStdString();
    EXPECT_TRUE(byClsid.error().description.contains(QLatin1String(c.says)))
        << c.name << ": " << byClsid.error().description.toStdString();
    const auto byProgId = registry::findByProgId(QStringLiteral("lib.Broken"));
    ASSERT_FALSE(byProgId) << c.name << ": found by ProgID";
    EXPECT_TRUE(byProgId.error().description.contains(file))
        << c.name << ": " << byProgId.error().description.toStdString();
    EXPECT_FALSE(registry::all()) << c.name << ": the whole list fails";
    ASSERT_TRUE(registry::add(sample("lib.Fine", "{0a0b0c0d-0000-4000-8000-000000000005}")).ok());
    EXPECT_TRUE(registry::findByProgId(QStringLiteral("lib.Fine")))
        << c.name << ": an entry beside it";
}

INSTANTIATE_TEST_SUITE_P(Entries, RegistryDamage,
                         ::testing::Values(DamagedEntry{"Garbage", Damage::Garbage, ""},
                                           DamagedEntry{
                                               "Folder", Damage::Folder, "a folder, not a file"},
                                           DamagedEntry{"Fifo", Damage::Fifo, "a FIFO, not a file"},
                                           DamagedEntry{"DanglingLink",
                                                        Damage::DanglingLink,
                                                        "a symbolic link to a missing file"},
                                           DamagedEntry{"Huge", Damage::Huge, "larger than"}),
                         [](const auto &info) { return std::string(info.param.name); });

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
    EXPECT_EQ(found->library, testControl()) << "the entry whose library is there";
    ASSERT_EQ(g_warnings.size(), 2) << g_warnings.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(g_warnings[0].contains(broken)) << "the entry passed over";
    EXPECT_TRUE(g_warnings[0].contains(QStringLiteral("/opt/x/libsample.so"))) << "its library";
    EXPECT_TRUE(g_warnings[1].contains(damaged)) << "the damaged entry";
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
    EXPECT_EQ((*a)->call(1, {Variant(std::int32_t(5))}).value(), Variant(std::int32_t(5)))
        << "created by ProgID, called";
    EXPECT_EQ((*b)->get(2).value(), Variant(std::int32_t(0))) << "by class id, a separate instance";
    EXPECT_FALSE(lib->canUnloadNow()) << "while instances live";

    ASSERT_TRUE(lib->unregisterServer());
    a = createObject(QStringLiteral("TestLib.Counter"));
    ASSERT_FALSE(a);
    EXPECT_EQ(a.error().number, err::CannotCreateObject) << "unregistered";
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
    EXPECT_EQ(r.error().number, err::PathNotFound) << "the library's reason, as its number";
    EXPECT_EQ(r.error().description,
              QStringLiteral("DllRegisterServer in %1 failed with 0x80040201: "
                             "Cannot create the registry folder %2/registry")
                  .arg(lib->path, blocker))
        << "the library\'s reason";

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

// What cannot be created fails saying why: a registration whose library is
// no library (named by its file: "FAKE"), a class id that is none.
struct Uncreatable {
    const char *name;
    const char *progId;
    const char *says;
};

class Creating : public RegistryTest, public ::testing::WithParamInterface<Uncreatable> {};

TEST_P(Creating, FailsSayingWhy) {
    const Uncreatable &c = GetParam();
    const QString notElf = home.filePath(QStringLiteral("fake.so"));
    writeEntry(notElf, "not a library");
    ASSERT_TRUE(
        registry::add(sample("lib.Fake", "{0a0b0c0d-0000-4000-8000-000000000007}", notElf)).ok());
    const auto r = createObject(QLatin1String(c.progId));
    ASSERT_FALSE(r) << c.name << ": expected to fail";
    EXPECT_EQ(r.error().number, err::CannotCreateObject) << c.name << ": its error number";
    const QString says = QString::fromUtf8(c.says).replace(QLatin1String("FAKE"), notElf);
    EXPECT_TRUE(r.error().description.contains(says))
        << c.name << ": " << r.error().description.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Registry, Creating,
                         ::testing::Values(Uncreatable{"NotALibrary", "lib.Fake", "FAKE"},
                                           Uncreatable{
                                               "NotAClassId", "{not-a-guid", "not a class id"}),
                         [](const auto &info) { return std::string(info.param.name); });

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
    EXPECT_EQ(reg->library.toStdString(), (bySystem ? system : user).library.toStdString())
        << row.name << ": found the " << row.found << " registration";
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
                                         Shadowing{"bothGone", false, false, "user", false}),
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
            return qEnvironmentVariable("VELMORA_BUILD_DIR") + "/lib/libvelmora_platform.so";
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
