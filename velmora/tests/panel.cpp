#include "panel.h"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>

#include "comm/testing.h"
#include "dispids.h"
#include "shell/testing.h"
#include "windowing/timers.h"

namespace paneltest {

namespace {

QString worldPath(const QString &name) {
    const QString path = comm::testing::tempDir() + QLatin1Char('/') + name;
    QDir().mkpath(path);
    return path;
}

// Registers the libraries into the registry folder `name` with the tool a user has.
void makeRegistry(const char *name, std::initializer_list<const char *> libraries,
                  const char *commDouble = "", const char *iconDouble = "lumora.Lumorel") {
    qputenv("VELMORA_REGISTRY", QFile::encodeName(worldPath(QString::fromLatin1(name))));
    qputenv("VELMORA_DOUBLES_COMM_PROGID", commDouble);
    qputenv("VELMORA_DOUBLES_ICON_PROGID", iconDouble);
    for (const char *library : libraries)
        if (QProcess::execute(qEnvironmentVariable("VELMORA_REGSVR"),
                              {qEnvironmentVariable(library)}) != 0)
            qFatal("cannot register %s", library);
}

// The words since the last look, as the elements set ("1" the power key, "0"
// none, "?<bits>" malformed), "com2:..." for the other amplifiers.
QStringList newWords() {
    QStringList out;
    for (const char *name : {"default", "com2", "com3"}) {
        for (const auto &w : amp(name).words()) {
            QString elements = w.wellFormed() ? QString() : QStringLiteral("?") + w.text();
            for (int i = 1; i <= 8 && w.wellFormed(); ++i)
                elements += w.element(i) ? QString::number(i) : QString();
            out << (qstrcmp(name, "default") ? QString::fromLatin1(name) + QLatin1Char(':')
                                             : QString()) +
                       (elements.isEmpty() ? QStringLiteral("0") : elements);
        }
        amp(name).clearWords();
    }
    return out;
}

// A tray host on the test's private session bus, there from the start.
void trayHost(bool on) {
    static auto *host = new shell::testing::TrayHost; // lives as long as the test
    EXPECT_TRUE(host->setPresent(on)) << "the shell seeing the host " << (on ? "come" : "go");
}

} // namespace

simulator::SimulatedAmplifier &amp(const char *name) {
    return simulator::SimulatedAmplifier::get(QString::fromLatin1(name));
}

QByteArray settingsFileBytes() {
    QFile f(QStringLiteral("nastr.dat"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void PanelTest::SetUp() {
    qputenv("VELMORA_REGISTRY", QFile::encodeName(worldPath(QStringLiteral("full"))));
    comm::testing::restoreConfig();
    for (const char *name : {"default", "com2", "com3"})
        amp(name).reset();
    work_ = std::make_unique<QTemporaryDir>(worldPath(QStringLiteral("work")) +
                                            QStringLiteral("/XXXXXX"));
    ASSERT_TRUE(QDir::setCurrent(work_->path()));
    scope_ = std::make_unique<QObject>();
    windowing::setMessageBoxHandler([this](const windowing::MessageRequest &r) {
        boxes.push_back(r);
        return r.buttons != windowing::Buttons::YesNo
                   ? windowing::Answer::Ok
                   : std::exchange(answer_, windowing::Answer::No);
    });
    trayHost(true);
    takeRecord();
}

void PanelTest::TearDown() {
    scope_.reset();
    for (QWidget *w : QApplication::topLevelWidgets())
        if (!w->parent())
            w->deleteLater();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QString PanelTest::step(const QString &action) {
    const QString verb = action.section(QLatin1Char(':'), 0, 0),
                  arg = action.section(QLatin1Char(':'), 1);
    const auto named = [&] {
        return &amp(arg.isEmpty() ? "default" : qPrintable(arg));
    };
    if (verb.startsWith(QLatin1Char('+'))) {
        windowing::advanceClock(verb.mid(1).toLongLong());
    } else if (verb == "load") { // as the program starts it
        panel = new velmora::Velmora;
        EXPECT_TRUE(panel->load()) << "loaded";
        panel->show();
    } else if (verb == "key") {
        named()->pressPowerKey();
    } else if (verb == "unplug") {
        named()->unplug();
    } else if (verb == "replug") {
        named()->replug();
    } else if (verb == "stubborn") { // switches itself on again at once
        QObject::connect(&amp(), &simulator::SimulatedAmplifier::changed, scope_.get(), [] {
            if (!amp().powered())
                amp().pressPowerKey();
        });
    } else if (verb == "file") {
        QFile f(QStringLiteral("nastr.dat"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << "nastr.dat opened";
        EXPECT_EQ(f.write(arg.toUtf8()), arg.toUtf8().size()) << "nastr.dat written";
    } else if (verb == "map") {
        comm::testing::writeConfig(arg);
    } else if (verb == "registry") {
        qputenv("VELMORA_REGISTRY", QFile::encodeName(worldPath(arg)));
    } else if (verb == "dblclick") {
        raiseTrayEvent(velmora::tray::DoubleClickEvent,
                       {automation::Variant(std::int32_t(arg.toInt()))});
    } else if (verb == "host") {
        trayHost(arg == "on");
    } else {
        answer_ = arg == QLatin1String("yes") ? windowing::Answer::Yes : windowing::Answer::No;
        auto *button = panel->findChild<QAbstractButton *>(verb);
        button ? button->click() : panel->findChild<QAction *>(verb)->trigger();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return seen();
}

void PanelTest::run(const std::vector<std::pair<QString, QString>> &steps) {
    for (const auto &[action, expected] : steps)
        EXPECT_EQ(step(action).toStdString(), expected.toStdString())
            << "after " << qPrintable(action);
}

// The state word ("ON", "OFF", "-"; "!" after it when its colour or the power
// buttons do not go with it) and the readiness text ("warming", "ready", "-"),
// or "gone" once the window is unloaded; "hidden"; the open dialogs; then what
// happened since the last look: the doubles' tokens (a word's line requests
// in the program's order as its bits and "out": "00010000out"), the words on
// the line, the message boxes ("ask-port", "ask-exit", "ask-off"). A token
// repeated n times in a row shows as token*n.
QString PanelTest::seen() {
    static const QMap<QString, QString> said = {
        {"", "-"},
        {"ВКЛЮЧЕН", "ON"},
        {"ВЫКЛЮЧЕН", "OFF"},
        {"Готов к работе", "ready"},
        {"Идет прогрев радиоламп", "warming"},
        {"Нет доступа к текущему COM порту. Настроить номер порта?", "ask-port"},
        {"Вы действительно хотите выйти из программы?", "ask-exit"},
        {"Вы действительно хотите выключить усилитель?", "ask-off"}};
    static const QRegularExpression setBit(QStringLiteral("rts0 dtr0 rts1 dtr1 ")),
        clearBit(QStringLiteral("rts0 dtr0 dtr1 "));
    QStringList out{QStringLiteral("gone")}, dialogs,
        tokens = takeRecord()
                     .replace(setBit, "1")
                     .replace(clearBit, "0")
                     .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (panel) {
        const QLabel *word = panel->findChild<QLabel *>("Label4");
        const QString ready = panel->findChild<QLabel *>("Label3")->text();
        const bool on = word->text() == QStringLiteral("ВКЛЮЧЕН");
        const bool fits =
            word->palette().color(QPalette::WindowText) == (on ? Qt::blue : Qt::red) &&
            (word->text().isEmpty() ||
             (panel->findChild<QAbstractButton *>("Vkl")->isEnabled() != on &&
              panel->findChild<QAbstractButton *>("Vikl")->isEnabled() == on));
        out = QStringList{said.value(word->text(), word->text()) + (fits ? "" : "!"),
                          said.value(ready, ready)};
        if (!panel->isVisible())
            out << QStringLiteral("hidden");
    }
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<QDialog *>(w) && w->isVisible())
            dialogs << w->objectName();
    dialogs.sort();
    tokens << newWords();
    for (; boxesSeen_ < boxes.size(); ++boxesSeen_) {
        const windowing::MessageRequest &b = boxes[boxesSeen_];
        const QString token = said.value(b.text);
        const bool asked =
            token.startsWith(QLatin1String("ask")) && b.title == QStringLiteral("Velmora") &&
            b.icon == windowing::Icon::Question && b.buttons == windowing::Buttons::YesNo &&
            b.defaultButton ==
                (token == "ask-exit" ? windowing::Answer::No : windowing::Answer::Yes);
        tokens << (asked ? token : QStringLiteral("box:") + b.text);
    }
    out << dialogs;
    for (int i = 0, n = 1; i < tokens.size(); i += n) {
        for (n = 1; i + n < tokens.size() && tokens[i + n] == tokens[i];)
            ++n;
        out << (n > 1 ? tokens[i] + QStringLiteral("*%1").arg(n) : tokens[i]);
    }
    return out.join(QLatin1Char(' '));
}

} // namespace paneltest

int main(int argc, char **argv) {
    // Nothing of the user's is read or written: home, runtime folder (the
    // instance lock; made by the comm test support) and registries are the
    // test's own.
    qputenv("HOME", QFile::encodeName(paneltest::worldPath(QStringLiteral("home"))));
    paneltest::makeRegistry("lumora",
                            {"VELMORA_COMM_LIB", "VELMORA_TEST_DOUBLES", "VELMORA_LUMORA_LIB"},
                            "",
                            "VelmoraTest.Tray");
    paneltest::makeRegistry("full", {"VELMORA_COMM_LIB", "VELMORA_TEST_DOUBLES"});
    paneltest::makeRegistry("comm", {"VELMORA_COMM_LIB"});
    paneltest::makeRegistry("double", {"VELMORA_TEST_DOUBLES"}, "MSCommLib.MSComm");
    windowing::useManualClock();
    if (!shell::testing::startPrivateBus())
        qFatal("no private session bus for the tray host");
    QApplication app(argc, argv);
    windowing::setProgramTitle(QStringLiteral("Velmora")); // as main() does
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
