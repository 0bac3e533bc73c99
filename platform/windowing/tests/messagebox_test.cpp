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

namespace {

using B = QMessageBox;

struct Asked {
    const char *name;
    std::function<Answer()> ask;
    QString title, text;
    B::Icon icon;
    B::StandardButtons buttons;
    B::StandardButton defaultButton, press /* NoButton: Escape */;
    Answer answer;
};

class MessageBoxes : public ::testing::TestWithParam<Asked> {};

} // namespace

TEST_P(MessageBoxes, RealBoxesShowWhatWasAskedAndAnswerTheButton) {
    const Asked &c = GetParam();
    bool shown = false;
    QTimer poll; // polls the box's own event loop until the modal box shows
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || std::exchange(shown, true))
            return;
        EXPECT_EQ(box->windowTitle(), c.title) << c.name;
        EXPECT_EQ(box->text(), c.text) << c.name;
        EXPECT_EQ(box->icon(), c.icon) << c.name;
        EXPECT_EQ(box->standardButtons(), c.buttons) << c.name;
        EXPECT_EQ(box->standardButton(box->defaultButton()), c.defaultButton) << c.name;
        if (c.press == B::NoButton)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->button(c.press)->click();
    });
    poll.start(5);
    EXPECT_EQ(c.ask(), c.answer) << c.name;
    EXPECT_TRUE(shown) << c.name << ": a box showed";
}

INSTANTIATE_TEST_SUITE_P(MessageBoxes, MessageBoxes,
                         ::testing::Values(Asked{"YesNoEscaped",
                                                 [] { return askYesNo("Configure?", Answer::Yes); },
                                                 "Host Program",
                                                 "Configure?",
                                                 B::Question,
                                                 B::Yes | B::No,
                                                 B::Yes,
                                                 B::NoButton,
                                                 Answer::No},
                                           Asked{"ErrorWithATitle",
                                                 [] {
                                                     showError("Broken", "Other");
                                                     return Answer::Ok;
                                                 },
                                                 "Other",
                                                 "Broken",
                                                 B::Critical,
                                                 B::Ok,
                                                 B::Ok,
                                                 B::Ok,
                                                 Answer::Ok}),
                         [](const auto &info) { return std::string(info.param.name); });
