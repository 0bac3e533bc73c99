// Real message boxes: what they show and the answer of the button pressed.
// Boxes are headed by the program's title, "Host Program" here.

#include "windowing/messagebox.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace windowing;

TEST(MessageBoxes, RealBoxesShowWhatWasAskedAndAnswerTheButton) {
    using B = QMessageBox;
    const struct {
        std::function<Answer()> ask;
        QString title, text;
        B::Icon icon;
        B::StandardButtons buttons;
        B::StandardButton defaultButton, press /* NoButton: Escape */;
        Answer answer;
    } cases[] = {
        {[] { return askYesNo("Configure?", Answer::Yes); },
         "Host Program",
         "Configure?",
         B::Question,
         B::Yes | B::No,
         B::Yes,
         B::NoButton,
         Answer::No},
        {[] {
             showError("Broken", "Other");
             return Answer::Ok;
         },
         "Other",
         "Broken",
         B::Critical,
         B::Ok,
         B::Ok,
         B::Ok,
         Answer::Ok},
    };
    for (const auto &c : cases) {
        bool shown = false;
        QTimer poll; // polls the box's own event loop until the modal box shows
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                box && !shown) {
                shown = true;
                EXPECT_EQ(std::tuple(box->windowTitle(),
                                     box->text(),
                                     box->icon(),
                                     box->standardButtons(),
                                     box->standardButton(box->defaultButton())),
                          std::tuple(c.title, c.text, c.icon, c.buttons, c.defaultButton));
                c.press == B::NoButton ? QTest::keyClick(box, Qt::Key_Escape)
                                       : box->button(c.press)->click();
            }
        });
        poll.start(5);
        const Answer answer = c.ask();
        EXPECT_EQ(std::pair(answer, shown), std::pair(c.answer, true)) << c.text.toStdString();
    }
}
