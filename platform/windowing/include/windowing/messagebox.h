// Message boxes, through one seam that tests answer by script.
#pragma once

#include <QString>
#include <functional>

namespace windowing {

// The program's name, heading its message boxes and the fatal-error report.
// The program sets it; until it does, QGuiApplication::applicationDisplayName()
// stands in. (A display name set on the application is also appended to every
// window title, which a program may not want.)
void setProgramTitle(const QString &title);
QString programTitle();

enum class Buttons { Ok, YesNo };
enum class Icon { None, Question, Error, Information };
enum class Answer { Ok = 1, Yes = 6, No = 7 };

struct MessageRequest {
    QString text;
    QString title = programTitle();
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    Answer defaultButton = Answer::Ok;
};

// Shows a modal box (its nested loop runs while it is open) and returns the answer.
Answer messageBox(const MessageRequest &request);

// Yes/No with a question icon and the program's name as title.
Answer askYesNo(const QString &text, Answer defaultButton);
// OK-only error box.
void showError(const QString &text, const QString &title = programTitle());

// Tests replace the real boxes; the handler gets each request and answers.
// Pass an empty function to go back to real boxes.
using MessageBoxHandler = std::function<Answer(const MessageRequest &)>;
void setMessageBoxHandler(MessageBoxHandler handler);

} // namespace windowing
