#include "panel.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>

#include "about.h"
#include "automation/registry.h"
#include "automation/server.h"
#include "nastr.h"
#include "comm/testing.h"
#include "windowing/instance.h"
#include "windowing/timers.h"

namespace paneltest {

namespace {

constexpr automation::DispId DoubleCalls = 0x7001;
constexpr automation::DispId DoubleClearCalls = 0x7002;

QTemporaryDir& world()
{
    static QTemporaryDir* dir = new QTemporaryDir;
    return *dir;
}

QString worldPath(const char* name)
{
    const QString path = world().filePath(QString::fromLatin1(name));
    QDir().mkpath(path);
    return path;
}

void die(const QString& why)
{
    std::fprintf(stderr, "panel test set-up: %s\n", qPrintable(why));
    std::exit(2);
}

void registerLibrary(const char* env)
{
    const QString path = QString::fromLocal8Bit(qgetenv(env));
    automation::Error error;
    const auto lib = automation::loadLibrary(path, &error);
    if (!lib)
        die(QStringLiteral("%1: %2").arg(QString::fromLatin1(env), error.description));
    if (lib->registerServer() != automation::hr::Ok)
        die(QStringLiteral("%1 does not register: %2").arg(path, automation::lastServerError().description));
}

QString makeRegistry(const char* name, bool comm, bool doubles, bool refusingComm)
{
    const QString dir = worldPath(name);
    qputenv("VELMORA_REGISTRY", QFile::encodeName(dir));
    if (comm)
        registerLibrary("VELMORA_COMM_LIB");
    if (doubles)
        registerLibrary("VELMORA_TEST_DOUBLES");
    if (refusingComm) {
        auto reg = automation::registry::findByProgId(QStringLiteral("VelmoraTest.RefusingComm"));
        if (!reg)
            die(QStringLiteral("the refusing comm double is not registered"));
        reg->progId = QStringLiteral("MSCommLib.MSComm");
        if (!automation::registry::add(*reg).ok())
            die(QStringLiteral("cannot register the refusing comm double"));
    }
    return dir;
}

} // namespace

QString fullRegistry()
{
    static const QString dir = makeRegistry("registry", true, true, false);
    return dir;
}
QString commOnlyRegistry()
{
    static const QString dir = makeRegistry("registry-comm-only", true, false, false);
    return dir;
}
QString refusingCommRegistry()
{
    static const QString dir = makeRegistry("registry-refusing", false, true, true);
    return dir;
}

void writeSettingsFile(const QByteArray& bytes)
{
    QFile f(QStringLiteral("nastr.dat"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray settingsFileBytes()
{
    QFile f(QStringLiteral("nastr.dat"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool settingsFileExists() { return QFileInfo::exists(QStringLiteral("nastr.dat")); }

comm::SimulatedAmplifier& amp(const char* name)
{
    return comm::SimulatedAmplifier::get(QString::fromLatin1(name));
}

QStringList words(const char* name)
{
    QStringList out;
    for (const auto& w : amp(name).words())
        out << w.text();
    return out;
}

QStringList calls(velmora::Component& c)
{
    if (!c.control())
        return {QStringLiteral("<no control>")};
    const automation::Result<> r = c.control()->get(DoubleCalls);
    if (!r.ok() || r.value().bstr().isEmpty())
        return {};
    return r.value().bstr().split(QLatin1Char('\n'));
}

void clearCalls(velmora::Component& c)
{
    if (c.control())
        c.control()->call(DoubleClearCalls);
}

void PanelTest::SetUp()
{
    qputenv("VELMORA_REGISTRY", QFile::encodeName(fullRegistry()));
    comm::testing::restoreConfig();
    for (const char* name : {"default", "com2", "com3"})
        amp(name).reset();
    work_ = std::make_unique<QTemporaryDir>(world().filePath(QStringLiteral("work-XXXXXX")));
    ASSERT_TRUE(work_->isValid());
    oldDir_ = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work_->path()));
    windowing::setMessageBoxHandler([this](const windowing::MessageRequest& r) {
        boxes.push_back(r);
        if (r.buttons != windowing::Buttons::YesNo)
            return windowing::Answer::Ok;
        if (answers.empty())
            return otherwise;
        const windowing::Answer a = answers.front();
        answers.pop_front();
        return a;
    });
}

void PanelTest::TearDown()
{
    delete panel.data();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<velmora::Velmora*>(w) || qobject_cast<velmora::Nastr*>(w) || qobject_cast<velmora::About*>(w))
            delete w;
    processDeletes();
    windowing::setMessageBoxHandler({});
    QDir::setCurrent(oldDir_);
    work_.reset();
}

velmora::Velmora& PanelTest::load()
{
    panel = new velmora::Velmora;
    EXPECT_TRUE(panel->Form_Load());
    return *panel;
}

velmora::Velmora& PanelTest::start()
{
    load();
    advance(150);
    amp().clearWords();
    return *panel;
}

void PanelTest::advance(std::int64_t ms) { windowing::advanceClock(ms); }

void PanelTest::processDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

int PanelTest::countBoxes(const QString& text) const
{
    return int(std::count_if(boxes.begin(), boxes.end(), [&](const auto& b) { return b.text == text; }));
}

} // namespace paneltest

int main(int argc, char** argv)
{
    using namespace paneltest;
    if (!world().isValid())
        die(QStringLiteral("no temporary folder"));
    // Nothing of the user's is read or written: home, configuration, data,
    // runtime folder (the instance lock) and registry are the test's own.
    qputenv("HOME", QFile::encodeName(worldPath("home")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(worldPath("home/.config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(worldPath("home/.local/share")));
    const QString runtime = worldPath("runtime");
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    qputenv("VELMORA_SYSTEM_REGISTRY", QFile::encodeName(worldPath("system-registry")));
    QDir::setCurrent(worldPath("start"));

    windowing::useManualClock();
    windowing::setFatalErrorHandler([](const automation::Error& e) {
        std::fprintf(stderr, "FATAL run-time error %d: %s (%s)\n", e.number, qPrintable(e.description),
                     qPrintable(e.source));
    });
    QApplication app(argc, argv);
    // Build the registries before any test changes the working folder.
    commOnlyRegistry();
    refusingCommRegistry();
    fullRegistry();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
