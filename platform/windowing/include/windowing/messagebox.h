// Message boxes, through one seam that tests answer by script.
#pragma once

#include <QString>
#include <functional>

namespace windowing {

// The program's title, heading its message boxes.
inline const QString ProgramTitle = QStringLiteral("Velmora");

enum class Buttons { Ok, YesNo };
enum class Icon { None, Question, Error, Information };
enum class Answer { Ok = 1, Yes = 6, No = 7 };

struct MessageRequest {
    QString text;
    QString title = ProgramTitle;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    Answer defaultButton = Answer::Ok;
};

// Shows a modal box (its nested loop runs while it is open) and returns the answer.
Answer messageBox(const MessageRequest& request);

// Yes/No with a question icon and the program's title.
Answer askYesNo(const QString& text, Answer defaultButton);
// OK-only error box.
void showError(const QString& text, const QString& title = ProgramTitle);

// Tests replace the real boxes; the handler gets each request and answers.
// Pass an empty function to go back to real boxes.
using MessageBoxHandler = std::function<Answer(const MessageRequest&)>;
void setMessageBoxHandler(MessageBoxHandler handler);

} // namespace windowing
