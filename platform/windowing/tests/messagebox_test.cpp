// The message-box seam: scripted answers in tests, QMessageBox otherwise.

#include "windowing/messagebox.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

using namespace windowing;

namespace {

class MessageBoxTest : public ::testing::Test {
protected:
    void TearDown() override { setMessageBoxHandler({}); }
};

QMessageBox* openBox()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            return box;
    return nullptr;
}

// Waits in the box's own loop for the box to show, lets `act` look at it and
// press a button. A box that never turns up fails the test instead of hanging.
void whenBoxOpens(std::function<void(QMessageBox*)> act)
{
    auto* poll = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(poll, &QTimer::timeout, [poll, started, act] {
        if (QMessageBox* box = openBox()) {
            poll->deleteLater();
            EXPECT_EQ(QApplication::activeModalWidget(), box) << "the box is not modal";
            act(box);
            if (box->isVisible()) {
                ADD_FAILURE() << "the box stayed open";
                box->done(0);
            }
        } else if (started->elapsed() > 5000) {
            poll->deleteLater();
            ADD_FAILURE() << "no message box opened";
        }
    });
    poll->start(5);
}

} // namespace

TEST_F(MessageBoxTest, QuestionsAreYesNoWithIconDefaultAndProgramTitle)
{
    std::optional<MessageRequest> seen;
    Answer reply = Answer::Yes;
    setMessageBoxHandler([&](const MessageRequest& r) {
        seen = r;
        return reply;
    });

    EXPECT_EQ(askYesNo("Leave?", Answer::No), Answer::Yes);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->text, "Leave?");
    EXPECT_EQ(seen->title, "Velmora");
    EXPECT_EQ(seen->buttons, Buttons::YesNo);
    EXPECT_EQ(seen->icon, Icon::Question);
    EXPECT_EQ(seen->defaultButton, Answer::No);

    reply = Answer::No;
    EXPECT_EQ(askYesNo("Configure?", Answer::Yes), Answer::No);
    EXPECT_EQ(seen->defaultButton, Answer::Yes);
}

TEST_F(MessageBoxTest, ErrorsAreOkOnlyWithTheErrorIcon)
{
    std::optional<MessageRequest> seen;
    setMessageBoxHandler([&](const MessageRequest& r) {
        seen = r;
        return Answer::Ok;
    });
    showError("Broken");
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->text, "Broken");
    EXPECT_EQ(seen->title, "Velmora");
    EXPECT_EQ(seen->buttons, Buttons::Ok);
    EXPECT_EQ(seen->icon, Icon::Error);

    showError("Broken", "Other");
    EXPECT_EQ(seen->title, "Other");
}

TEST_F(MessageBoxTest, RealQuestionBoxShowsWhatWasAskedAndReturnsTheButton)
{
    whenBoxOpens([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), "Velmora");
        EXPECT_EQ(box->text(), "Leave?");
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        ASSERT_NE(box->defaultButton(), nullptr);
        EXPECT_EQ(box->standardButton(box->defaultButton()), QMessageBox::No);
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(askYesNo("Leave?", Answer::No), Answer::Yes);

    // Escape answers No.
    whenBoxOpens([](QMessageBox* box) {
        EXPECT_EQ(box->standardButton(box->defaultButton()), QMessageBox::Yes);
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_EQ(askYesNo("Configure?", Answer::Yes), Answer::No);
}

TEST_F(MessageBoxTest, RealErrorBoxHasOnlyOk)
{
    whenBoxOpens([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), "Velmora");
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        box->button(QMessageBox::Ok)->click();
    });
    showError("Broken");
}
