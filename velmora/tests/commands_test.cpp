// The command words on the line, the power loops, and the state poll with its
// announcements, against the simulated amplifier on the test clock.
#include "panel.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "comm/testing.h"
#include "windowing/timers.h"

using namespace paneltest;

namespace {

const QString Off = QStringLiteral("00000000");
const QString Power = QStringLiteral("10000000");

const QString TipOn = QStringLiteral("ShowBalloonMessage(\"Усилитель включен\", \"Усилитель \"Вельмора\"  - Version 1.1\", I4:4242)");
const QString TipOff = QStringLiteral("ShowBalloonMessage(\"Усилитель выключен\", \"Усилитель \"Вельмора\"  - Version 1.1\", I4:4242)");
const QString AskPort = QStringLiteral("Нет доступа к текущему COM порту. Настроить номер порта?");
const QString AskPowerOff = QStringLiteral("Вы действительно хотите выключить усилитель?");

QString text(velmora::Velmora& p, const char* label) { return p.findChild<QLabel*>(label)->text(); }
QColor colour(velmora::Velmora& p, const char* label)
{
    return p.findChild<QLabel*>(label)->palette().color(QPalette::WindowText);
}
void click(velmora::Velmora& p, const char* button) { p.findChild<QAbstractButton*>(button)->click(); }
bool enabled(velmora::Velmora& p, const char* button) { return p.findChild<QAbstractButton*>(button)->isEnabled(); }

// The balloon calls, as "type:prompt" pairs.
QStringList balloons(velmora::Velmora& p)
{
    QStringList out;
    QString type;
    for (const QString& c : calls(p.Balloon)) {
        if (c.startsWith(QLatin1String("MessageType=")))
            type = c.mid(12);
        else
            out << type + QLatin1Char(':') + c.section(QLatin1Char('"'), 1, 1);
    }
    return out;
}

using CommandTest = PanelTest;
using PollTest = PanelTest;

} // namespace

TEST_F(CommandTest, OneAllFalseWordEndsTheBitTheOpenClockedIn150msAfterStart)
{
    load();
    EXPECT_TRUE(amp().portOpen());
    advance(149);
    EXPECT_TRUE(words().isEmpty());
    advance(1);
    // The port's opening raised DTR with RTS high: one extra leading sample,
    // which this word shifts out of the amplifier's register.
    EXPECT_EQ(words(), QStringList{Off});
    EXPECT_EQ(amp().words()[0].shiftedOut, std::vector<bool>{true});
    advance(1000);
    EXPECT_EQ(words().size(), 1) << "Timer1 switched itself off";
    EXPECT_TRUE(amp().dtr());
    EXPECT_FALSE(amp().rts()) << "after a word DTR stays asserted and RTS deasserted";
}

TEST_F(CommandTest, PowerOnSendsThreeWordsWhenTheFirstCheckFindsTheCarrier)
{
    auto& p = start();
    click(p, "Vkl");
    EXPECT_EQ(words(), (QStringList{Power, Off, Off}));
    EXPECT_TRUE(amp().powered());
    EXPECT_TRUE(p.OnByProgram);
    EXPECT_EQ(p.Tries, 11);
}

TEST_F(CommandTest, PowerOffAttemptsSendFourWordsEach)
{
    amp().pressPowerKey();
    auto& p = start();
    answers = {windowing::Answer::Yes};
    click(p, "Vikl");
    EXPECT_EQ(words(), (QStringList{Power, Off, Off, Off}));
    EXPECT_FALSE(amp().powered());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, AskPowerOff);
    EXPECT_EQ(boxes[0].defaultButton, windowing::Answer::Yes);
    EXPECT_EQ(boxes[0].icon, windowing::Icon::Question);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Velmora"));

}

TEST_F(CommandTest, InputsSendTheFirstInputKeyTwiceThenStepOn)
{
    amp().pressPowerKey();
    auto& p = start();
    const QString first = QStringLiteral("00000100"), next = QStringLiteral("00001000");
    click(p, "Kom3");
    EXPECT_EQ(words(), (QStringList{first, Off, first, Off, next, Off, next, Off}));
    EXPECT_EQ(amp().input(), 3);
    amp().clearWords();
    click(p, "Kom2");
    EXPECT_EQ(words(), (QStringList{first, Off, first, Off, next, Off}));
    EXPECT_EQ(amp().input(), 2);
    amp().clearWords();
    click(p, "Kom1");
    EXPECT_EQ(words(), (QStringList{first, Off, first, Off}));
    EXPECT_EQ(amp().input(), 1);
    // Clicking the chosen input again sends its series again.
    amp().clearWords();
    click(p, "Kom1");
    EXPECT_EQ(words().size(), 4);
}

TEST_F(CommandTest, StandbyKeysAreReleasedByOneDelayedWord)
{
    amp().pressPowerKey();
    auto& p = start();
    const QString on = QStringLiteral("00010000"), off = QStringLiteral("00100000");

    click(p, "JdVikl");
    EXPECT_EQ(words(), QStringList{on});
    advance(149);
    EXPECT_EQ(words(), QStringList{on});
    advance(1);
    EXPECT_EQ(words(), (QStringList{on, Off}));
    EXPECT_TRUE(amp().standby());

    // Two clicks within 150 ms: two key words, one delayed word, 150 ms after the first.
    amp().clearWords();
    click(p, "JdVkl");
    advance(100);
    click(p, "JdVkl");
    EXPECT_EQ(words(), (QStringList{off, off}));
    advance(50);
    EXPECT_EQ(words(), (QStringList{off, off, Off}));
    advance(1000);
    EXPECT_EQ(words().size(), 3);
    EXPECT_FALSE(amp().standby());
}

TEST_F(CommandTest, ClosedPortAsksOncePerFailedWordAndTheCommandGoesOn)
{
    amp().unplug();
    auto& p = load();
    EXPECT_EQ(p.PortOk, 0);
    EXPECT_FALSE(calls(p.Tray).join(QLatin1Char('\n')).contains(QLatin1String("AddToTray")))
        << "no icon after a failed load";
    advance(150);   // the all-False word
    EXPECT_EQ(countBoxes(AskPort), 1);
    EXPECT_EQ(boxes[0].defaultButton, windowing::Answer::Yes);

    struct Case { const char* button; int questions; };
    for (Case c : {Case{"Kom1", 4}, Case{"Kom2", 6}, Case{"Kom3", 8}, Case{"Vkl", 33}}) {
        boxes.clear();
        click(p, c.button);
        EXPECT_EQ(countBoxes(AskPort), c.questions) << c.button;
    }

    // The power-off button is disabled while no carrier is seen; its loop
    // ends after one attempt, since a closed port reads no carrier.
    EXPECT_FALSE(enabled(p, "Vikl"));
    boxes.clear();
    answers = {windowing::Answer::Yes};
    windowing::runHandler([&] { EXPECT_TRUE(p.Vikl_Click().ok()); });
    EXPECT_EQ(countBoxes(AskPowerOff), 1);
    EXPECT_EQ(countBoxes(AskPort), 4);

    boxes.clear();
    click(p, "JdVikl");
    advance(150);
    EXPECT_EQ(countBoxes(AskPort), 2) << "the key word and the delayed word";

    // Yes opens the settings window, once, and the command carries on.
    boxes.clear();
    EXPECT_EQ(p.settingsWindow(), nullptr);
    otherwise = windowing::Answer::Yes;
    click(p, "Kom2");
    EXPECT_EQ(countBoxes(AskPort), 6);
    ASSERT_NE(p.settingsWindow(), nullptr);
    EXPECT_TRUE(p.settingsWindow()->isVisible());
}

TEST_F(PollTest, StartedOffShowsOffAndAnnouncesItOnce)
{
    auto& p = load();
    EXPECT_TRUE(text(p, "Label4").isEmpty());
    EXPECT_EQ(colour(p, "Label4"), QColor(Qt::red));
    advance(150);
    EXPECT_EQ(text(p, "Label4"), QStringLiteral("ВЫКЛЮЧЕН"));
    EXPECT_EQ(colour(p, "Label4"), QColor(Qt::red));
    EXPECT_TRUE(text(p, "Label3").isEmpty());
    EXPECT_TRUE(enabled(p, "Vkl"));
    EXPECT_FALSE(enabled(p, "Vikl"));
    advance(60000);
    EXPECT_EQ(balloons(p), QStringList{QStringLiteral("I4:1:Усилитель выключен")});
    EXPECT_EQ(calls(p.Balloon).last(), TipOff);
}

TEST_F(PollTest, StartedOnWarmsUpFrom49sAfterLoad)
{
    amp().pressPowerKey();
    auto& p = load();
    EXPECT_EQ(text(p, "Label3"), QStringLiteral("Готов к работе")) << "the load step reads the carrier";
    advance(150);
    EXPECT_EQ(text(p, "Label4"), QStringLiteral("ВКЛЮЧЕН"));
    EXPECT_EQ(colour(p, "Label4"), QColor(Qt::blue));
    EXPECT_EQ(text(p, "Label3"), QStringLiteral("Идет прогрев радиоламп"));
    EXPECT_FALSE(enabled(p, "Vkl"));
    EXPECT_TRUE(enabled(p, "Vikl"));
    EXPECT_EQ(balloons(p), QStringList{QStringLiteral("I4:1:Усилитель включен")});
    EXPECT_EQ(calls(p.Balloon).last(), TipOn);
    advance(49000 - 150 - 1);
    EXPECT_EQ(text(p, "Label3"), QStringLiteral("Идет прогрев радиоламп"));
    EXPECT_FALSE(p.WarmDone);
    advance(1);
    EXPECT_EQ(text(p, "Label3"), QStringLiteral("Готов к работе"));
    EXPECT_TRUE(p.WarmDone);
    advance(60000);
    EXPECT_EQ(balloons(p).size(), 1);
}

TEST_F(PollTest, PowerOnByTheButtonIsNotAnnouncedAndIsReady49sAfterTheConfirmingAttempt)
{
    auto& p = start();
    advance(850);
    click(p, "Vkl");
    advance(150);
    EXPECT_EQ(text(p, "Label3"), QStringLiteral("Идет прогрев радиоламп"));
    advance(49000 - 150 - 1);
    EXPECT_EQ(text(p, "Label3"), QStringLiteral("Идет прогрев радиоламп"));
    advance(1);
    EXPECT_EQ(text(p, "Label3"), QStringLiteral("Готов к работе"));
    EXPECT_EQ(balloons(p), QStringList{QStringLiteral("I4:1:Усилитель выключен")});
}

TEST_F(PollTest, PowerOffByTheButtonIsNeverAnnounced)
{
    amp().pressPowerKey();
    auto& p = start();
    clearCalls(p.Balloon);

    answers = {windowing::Answer::Yes};
    click(p, "Vikl");
    advance(300);
    EXPECT_EQ(text(p, "Label4"), QStringLiteral("ВЫКЛЮЧЕН"));
    EXPECT_TRUE(balloons(p).isEmpty());

    // Answered No: a later switch-off by other means is not announced either...
    amp().pressPowerKey();
    advance(150);
    EXPECT_EQ(balloons(p), QStringList{QStringLiteral("I4:1:Усилитель включен")});
    clearCalls(p.Balloon);
    amp().clearWords();
    answers = {windowing::Answer::No};
    click(p, "Vikl");
    EXPECT_TRUE(words().isEmpty()) << "No sends nothing";
    EXPECT_TRUE(amp().powered());
    amp().pressPowerKey();
    advance(300);
    EXPECT_TRUE(balloons(p).isEmpty());

    // ...unless a switch-on was announced in between.
    amp().pressPowerKey();
    advance(150);
    amp().pressPowerKey();
    advance(150);
    EXPECT_EQ(balloons(p), (QStringList{QStringLiteral("I4:1:Усилитель включен"),
                                        QStringLiteral("I4:1:Усилитель выключен")}));
}

TEST_F(PollTest, OffAndOnByTheAmplifiersOwnKeyAfterWarmUp)
{
    amp().pressPowerKey();
    auto& p = load();
    advance(49000);
    ASSERT_TRUE(p.WarmDone);
    clearCalls(p.Balloon);

    amp().pressPowerKey();
    advance(150);
    EXPECT_EQ(text(p, "Label4"), QStringLiteral("ВЫКЛЮЧЕН"));
    EXPECT_TRUE(text(p, "Label3").isEmpty());
    amp().pressPowerKey();
    advance(150);
    EXPECT_EQ(text(p, "Label4"), QStringLiteral("ВКЛЮЧЕН"));
    EXPECT_EQ(colour(p, "Label4"), QColor(Qt::blue));
    EXPECT_TRUE(text(p, "Label3").isEmpty()) << "no second warm-up";
    advance(60000);
    EXPECT_TRUE(text(p, "Label3").isEmpty());
    EXPECT_EQ(balloons(p), QStringList{QStringLiteral("I4:1:Усилитель выключен")});
}

TEST_F(PollTest, AutomaticPowerOn)
{
    // Answering: ready right after the load step, and no notice.
    writeSettingsFile(" 0 \r\n 1 \r\n 0 \r\n 0 \r\n");
    {
        auto& p = load();
        EXPECT_TRUE(amp().powered());
        EXPECT_EQ(text(p, "Label3"), QStringLiteral("Готов к работе"));
        advance(10000);
        EXPECT_FALSE(balloons(p).join(QLatin1Char(' ')).contains(QStringLiteral("Не удалось")));
        delete panel.data();
    }

    // Not answering within the loop: one error notice, 2 s after the start.
    amp().reset();
    comm::testing::writeConfig(QStringLiteral("COM1 = sim?delay=100000\n"));
    auto& p = load();
    EXPECT_EQ(words("default").size(), 33) << "all 11 attempts";
    advance(1999);
    EXPECT_TRUE(calls(p.Balloon).filter(QStringLiteral("Не удалось")).isEmpty());
    advance(1);
    EXPECT_EQ(calls(p.Balloon).filter(QLatin1String("MessageType")).last(), QStringLiteral("MessageType=I4:3"));
    EXPECT_EQ(calls(p.Balloon).last(),
              QStringLiteral("ShowBalloonMessage(\"Не удалось включить усилитель\", \"Усилитель \"Вельмора\"  - Version 1.1\", I4:4242)"));
    advance(60000);
    EXPECT_EQ(calls(p.Balloon).filter(QStringLiteral("Не удалось")).size(), 1);
}
