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

TEST_F(MessageBoxTest, ScriptedAnswersSeeQuestionsAndErrorsAsAsked)
{
    QList<MessageRequest> seen;
    setMessageBoxHandler([&](const MessageRequest& r) {
        seen << r;
        return seen.size() == 1 ? Answer::Yes : Answer::No;
    });
    EXPECT_EQ(askYesNo("Leave?", Answer::No), Answer::Yes);
    EXPECT_EQ(askYesNo("Configure?", Answer::Yes), Answer::No);
    showError("Broken");
    showError("Broken", "Other");
    ASSERT_EQ(seen.size(), 4);

    EXPECT_EQ(seen[0].text, "Leave?");
    EXPECT_EQ(seen[0].title, "Velmora");
    EXPECT_EQ(seen[0].buttons, Buttons::YesNo);
    EXPECT_EQ(seen[0].icon, Icon::Question);
    EXPECT_EQ(seen[0].defaultButton, Answer::No);
    EXPECT_EQ(seen[1].defaultButton, Answer::Yes);

    EXPECT_EQ(seen[2].text, "Broken");
    EXPECT_EQ(seen[2].title, "Velmora");
    EXPECT_EQ(seen[2].buttons, Buttons::Ok);
    EXPECT_EQ(seen[2].icon, Icon::Error);
    EXPECT_EQ(seen[3].title, "Other");
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
