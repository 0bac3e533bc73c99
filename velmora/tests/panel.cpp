#include "panel.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>

#include <dlfcn.h>

#include "comm/testing.h"
#include "nastr.h"
#include "windowing/timers.h"

namespace paneltest {

namespace {

QTemporaryDir& world()
{
    static QTemporaryDir* dir = new QTemporaryDir;
    return *dir;
}

QString worldPath(const QString& name)
{
    QDir().mkpath(world().filePath(name));
    return world().filePath(name);
}

void* doubles(const char* symbol)
{
    static void* lib = dlopen(qgetenv("VELMORA_TEST_DOUBLES").constData(), RTLD_NOW);
    return lib ? dlsym(lib, symbol) : nullptr;
}

// Registers the libraries into the registry folder `name` with the tool a user has.
void makeRegistry(const char* name, const QStringList& libraries, const QString& commDouble = {})
{
    for (const QString& library : libraries) {
        QProcess regsvr;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VELMORA_REGISTRY"), worldPath(QString::fromLatin1(name)));
        if (!commDouble.isEmpty())
            env.insert(QStringLiteral("VELMORA_DOUBLES_COMM_PROGID"), commDouble);
        regsvr.setProcessEnvironment(env);
        regsvr.start(qEnvironmentVariable("VELMORA_REGSVR"), {qEnvironmentVariable(library.toLatin1())});
        if (!regsvr.waitForFinished(30000) || regsvr.exitCode() != 0)
            qFatal("registering %s: %s", qPrintable(library), regsvr.readAllStandardError().constData());
    }
}

// The words since the last look, element by element: "1" for the power key,
// "0" for an all-clear word, "com2:..." for another amplifier.
QStringList newWords()
{
    QStringList out;
    for (const char* name : {"default", "com2", "com3"}) {
        for (const auto& w : amp(name).words()) {
            QString elements;
            for (int i = 1; i <= 8; ++i)
                elements += w.element(i) ? QString::number(i) : QString();
            elements = !w.wellFormed() ? QStringLiteral("?") + w.text() : elements.isEmpty() ? QStringLiteral("0") : elements;
            out << (qstrcmp(name, "default") ? QString::fromLatin1(name) + QLatin1Char(':') : QString()) + elements;
        }
        amp(name).clearWords();
    }
    return out;
}

// The doubles' calls since the last look, as tokens; the serial port's line
// requests are left out.
QStringList newCalls()
{
    const QString caption = QStringLiteral("\"Усилитель \"Вельмора\"  - Version 1.1\"");
    const std::map<QString, QString> known = {
        {QStringLiteral("Tray.DeleteFromTray()"), QStringLiteral("noicon")},
        {QStringLiteral("I4:1 Усилитель включен"), QStringLiteral("tip-on")},
        {QStringLiteral("I4:1 Усилитель выключен"), QStringLiteral("tip-off")},
        {QStringLiteral("I4:3 Не удалось включить усилитель"), QStringLiteral("tip-failed")},
        {QStringLiteral("MSComm.PortOpen=True"), QStringLiteral("open")},
        {QStringLiteral("MSComm.PortOpen=True -> error"), QStringLiteral("open!")},
        {QStringLiteral("MSComm.PortOpen=False"), QStringLiteral("close")},
        {QStringLiteral("MSComm.Settings=\"300,N,8,1\""), QStringLiteral("300")},
        {QStringLiteral("MSComm.Settings=\"2400,N,8,1\""), QStringLiteral("2400")},
        {QStringLiteral("MSComm.CommPort=I2:2"), QStringLiteral("port2")},
    };
    static const QRegularExpression icon(QStringLiteral("^Tray\\.AddToTray\\(picture:I4:[1-9]\\d*, %1, True\\)$")
                                             .arg(QRegularExpression::escape(caption)));
    static const QRegularExpression tip(QStringLiteral("^Balloon\\.ShowBalloonMessage\\(\"(.*)\", %1, I4:4242\\)$")
                                            .arg(QRegularExpression::escape(caption)));
    static const QRegularExpression lineRequest(QStringLiteral("^MSComm\\.(RTSEnable|DTREnable|Output)"));
    QStringList out;
    QString type;
    for (QString call : record()) {
        if (call.startsWith(QLatin1String("Balloon.MessageType=")) && (type = call.mid(20), true))
            continue;
        if (lineRequest.match(call).hasMatch())
            continue;
        if (icon.match(call).hasMatch())
            call = QStringLiteral("icon");
        else if (const auto m = tip.match(call); m.hasMatch())
            call = type + QLatin1Char(' ') + m.captured(1);
        out << (known.count(call) ? known.at(call) : call);
    }
    clearRecord();
    return out;
}

} // namespace

void useRegistry(const char* name) { qputenv("VELMORA_REGISTRY", QFile::encodeName(worldPath(QString::fromLatin1(name)))); }

comm::SimulatedAmplifier& amp(const char* name) { return comm::SimulatedAmplifier::get(QString::fromLatin1(name)); }

void writeSettingsFile(const QByteArray& bytes)
{
    QFile f(QStringLiteral("nastr.dat"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size());
}

QByteArray settingsFileBytes()
{
    QFile f(QStringLiteral("nastr.dat"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QStringList record()
{
    const auto text = reinterpret_cast<const char* (*)()>(doubles("velmora_doubles_record"));
    return QString::fromUtf8(text ? text() : "").split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void clearRecord()
{
    if (auto clear = reinterpret_cast<void (*)()>(doubles("velmora_doubles_clear")))
        clear();
}

void PanelTest::SetUp()
{
    useRegistry("full");
    comm::testing::restoreConfig();
    for (const char* name : {"default", "com2", "com3"})
        amp(name).reset();
    work_ = std::make_unique<QTemporaryDir>(world().filePath(QStringLiteral("work-XXXXXX")));
    ASSERT_TRUE(QDir::setCurrent(work_->path()));
    answers.clear();
    scope_ = std::make_unique<QObject>();
    windowing::setMessageBoxHandler([this](const windowing::MessageRequest& r) {
        boxes.push_back(r);
        if (r.buttons != windowing::Buttons::YesNo)
            return windowing::Answer::Ok;
        const windowing::Answer a = answers.empty() ? windowing::Answer::No : answers.front();
        if (!answers.empty())
            answers.pop_front();
        return a;
    });
    clearRecord();
}

void PanelTest::TearDown()
{
    scope_.reset();
    std::vector<QPointer<QWidget>> windows;
    for (QWidget* w : QApplication::topLevelWidgets())
        windows.emplace_back(w);
    for (const QPointer<QWidget>& w : windows)
        if (w && !w->parent())
            delete w.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    windowing::setMessageBoxHandler({});
    QDir::setCurrent(world().path());
}

QString PanelTest::step(const QString& action)
{
    const QString verb = action.section(QLatin1Char(':'), 0, 0), arg = action.section(QLatin1Char(':'), 1);
    const QByteArray nameBytes = arg.isEmpty() ? QByteArray("default") : arg.toLatin1();
    const char* name = nameBytes.constData();
    if (verb == QLatin1String("load")) {
        // As the program starts it: the load step, then shown.
        panel = new velmora::Velmora;
        EXPECT_TRUE(panel->Form_Load());
        panel->show();
    } else if (verb.startsWith(QLatin1Char('+'))) {
        windowing::advanceClock(verb.mid(1).toLongLong());
    } else if (verb == QLatin1String("key")) {
        amp(name).pressPowerKey();
    } else if (verb == QLatin1String("stubborn")) {   // switches itself on again at once
        QObject::connect(&amp(), &comm::SimulatedAmplifier::changed, scope_.get(), [] {
            if (!amp().powered())
                amp().pressPowerKey();
        });
    } else if (verb == QLatin1String("unplug") || verb == QLatin1String("replug")) {
        verb == QLatin1String("unplug") ? amp(name).unplug() : amp(name).replug();
    } else if (verb == QLatin1String("map")) {
        comm::testing::writeConfig(arg);
    } else if (verb == QLatin1String("registry")) {
        useRegistry(name);
    } else if (verb == QLatin1String("file")) {
        writeSettingsFile(arg.toUtf8());
    } else if (verb == QLatin1String("dblclick")) {
        reinterpret_cast<void (*)(int)>(doubles("velmora_doubles_double_click"))(arg.toInt());
    } else {
        if (!arg.isEmpty())
            answers = {arg == QLatin1String("yes") ? windowing::Answer::Yes : windowing::Answer::No};
        if (auto* b = panel->findChild<QAbstractButton*>(verb))
            b->click();
        else if (auto* a = panel->findChild<QAction*>(verb))
            a->trigger();
        else
            ADD_FAILURE() << "no control " << qPrintable(verb);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return seen();
}

void PanelTest::run(const std::vector<std::pair<QString, QString>>& steps)
{
    for (const auto& [action, expected] : steps)
        EXPECT_EQ(step(action).toStdString(), expected.toStdString()) << "after " << qPrintable(action);
}

// The state word and the readiness text (or "gone" once unloaded), the
// doubles' calls, the words on the line and the message boxes since the last
// look; a token repeated n times in a row shows as token*n.
QString PanelTest::seen()
{
    QStringList state, tokens;
    if (!panel) {
        state << QStringLiteral("gone");
    } else {
        const QLabel* word = panel->findChild<QLabel*>("Label4");
        const bool on = word->text() == QStringLiteral("ВКЛЮЧЕН");
        state << (word->text().isEmpty() ? QStringLiteral("-") : on ? QStringLiteral("ON") : word->text());
        state.last().replace(QStringLiteral("ВЫКЛЮЧЕН"), QStringLiteral("OFF"));
        // Its colour and the power buttons go with it.
        if (word->palette().color(QPalette::WindowText) != (on ? QColor(Qt::blue) : QColor(Qt::red)))
            state << QStringLiteral("wrong-colour");
        if (!word->text().isEmpty() && (panel->findChild<QPushButton*>("Vkl")->isEnabled() == on
                                         || panel->findChild<QPushButton*>("Vikl")->isEnabled() != on))
            state << QStringLiteral("wrong-buttons");
        const QString ready = panel->findChild<QLabel*>("Label3")->text();
        state << (ready.isEmpty() ? QStringLiteral("-") : ready == QStringLiteral("Готов к работе") ? QStringLiteral("ready")
                   : ready == QStringLiteral("Идет прогрев радиоламп") ? QStringLiteral("warming") : ready);
    }
    if (panel && !panel->isVisible())
        state << QStringLiteral("hidden");
    QStringList dialogs;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QDialog*>(w) && w->isVisible())
            dialogs << w->objectName();
    dialogs.sort();
    state << dialogs;
    tokens << newCalls() << newWords();
    const std::map<QString, std::pair<QString, windowing::Answer>> questions = {
        {QStringLiteral("Нет доступа к текущему COM порту. Настроить номер порта?"), {QStringLiteral("ask-port"), windowing::Answer::Yes}},
        {QStringLiteral("Вы действительно хотите выйти из программы?"), {QStringLiteral("ask-exit"), windowing::Answer::No}},
        {QStringLiteral("Вы действительно хотите выключить усилитель?"), {QStringLiteral("ask-off"), windowing::Answer::Yes}},
    };
    for (; boxesSeen_ < boxes.size(); ++boxesSeen_) {
        const windowing::MessageRequest& b = boxes[boxesSeen_];
        const auto q = questions.find(b.text);
        const bool asExpected = q != questions.end() && b.title == QStringLiteral("Velmora") && b.icon == windowing::Icon::Question
                                && b.buttons == windowing::Buttons::YesNo && b.defaultButton == q->second.second;
        tokens << (asExpected ? q->second.first : QStringLiteral("box:") + b.text);
    }
    QStringList out = state;
    for (int i = 0, n = 1; i < tokens.size(); i += n) {
        for (n = 1; i + n < tokens.size() && tokens[i + n] == tokens[i];)
            ++n;
        out << (n > 1 ? tokens[i] + QStringLiteral("*%1").arg(n) : tokens[i]);
    }
    return out.join(QLatin1Char(' '));
}

} // namespace paneltest

int main(int argc, char** argv)
{
    using namespace paneltest;
    // Nothing of the user's is read or written: home, configuration, data,
    // runtime folder (the instance lock) and registries are the test's own.
    qputenv("HOME", QFile::encodeName(worldPath(QStringLiteral("home"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(worldPath(QStringLiteral("home/.config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(worldPath(QStringLiteral("home/.local/share"))));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(worldPath(QStringLiteral("runtime"))));
    QFile::setPermissions(worldPath(QStringLiteral("runtime")), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("VELMORA_SYSTEM_REGISTRY", QFile::encodeName(worldPath(QStringLiteral("system-registry"))));
    makeRegistry("full", {QStringLiteral("VELMORA_COMM_LIB"), QStringLiteral("VELMORA_TEST_DOUBLES")});
    makeRegistry("comm", {QStringLiteral("VELMORA_COMM_LIB")});
    makeRegistry("double", {QStringLiteral("VELMORA_TEST_DOUBLES")}, QStringLiteral("MSCommLib.MSComm"));

    windowing::useManualClock();
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Velmora"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
