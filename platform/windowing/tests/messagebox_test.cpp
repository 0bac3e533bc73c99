// The message-box seam: scripted answers in tests, QMessageBox otherwise.
// Boxes are headed by the program's title, "Host Program" here.

#include "windowing/messagebox.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace windowing;

TEST(MessageBoxes, ScriptedAnswersSeeWhatWasAsked)
{
    QList<MessageRequest> seen;
    setMessageBoxHandler([&](const MessageRequest& r) {
        seen << r;
        return Answer::Yes;
    });
    EXPECT_EQ(askYesNo("Leave?", Answer::No), Answer::Yes);
    showError("Broken");
    showError("Broken", "Other");
    setMessageBoxHandler({});
    ASSERT_EQ(seen.size(), 3);
    EXPECT_EQ(std::tuple(seen[0].text, seen[0].title, seen[0].buttons, seen[0].icon, seen[0].defaultButton),
              std::tuple(QString("Leave?"), QString("Host Program"), Buttons::YesNo, Icon::Question, Answer::No));
    EXPECT_EQ(std::tuple(seen[1].text, seen[1].title, seen[1].buttons, seen[1].icon),
              std::tuple(QString("Broken"), QString("Host Program"), Buttons::Ok, Icon::Error));
    EXPECT_EQ(seen[2].title, "Other");
}

TEST(MessageBoxes, RealBoxesShowWhatWasAskedAndAnswerTheButton)
{
    const struct {
        MessageRequest request;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
        std::function<void(QMessageBox*)> press;
        Answer answer;
    } cases[] = {
        {{"Leave?", programTitle(), Buttons::YesNo, Icon::Question, Answer::No}, QMessageBox::Question,
         QMessageBox::Yes | QMessageBox::No, QMessageBox::No, [](QMessageBox* b) { b->button(QMessageBox::Yes)->click(); }, Answer::Yes},
        {{"Configure?", programTitle(), Buttons::YesNo, Icon::Question, Answer::Yes}, QMessageBox::Question,
         QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Escape); }, Answer::No},
        {{"Broken", programTitle(), Buttons::Ok, Icon::Error, Answer::Ok}, QMessageBox::Critical,
         QMessageBox::Ok, QMessageBox::Ok, [](QMessageBox* b) { b->button(QMessageBox::Ok)->click(); }, Answer::Ok},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request.text.toStdString());
        bool shown = false;
        // Polls the box's own event loop until the modal box shows.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); box && !shown) {
                shown = true;
                EXPECT_EQ(std::tuple(box->windowTitle(), box->text(), box->icon(), box->standardButtons()),
                          std::tuple(QString("Host Program"), c.request.text, c.icon, c.buttons));
                EXPECT_EQ(box->standardButton(box->defaultButton()), c.defaultButton);
                c.press(box);
            }
        });
        poll.start(5);
        EXPECT_EQ(messageBox(c.request), c.answer);
        EXPECT_TRUE(shown);
    }
}
