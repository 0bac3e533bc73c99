// Message boxes: QMessageBox in the program, a scripted handler in tests.

#include "windowing/messagebox.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "logging.h"

namespace windowing {
namespace {

MessageBoxHandler &handler() {
    static MessageBoxHandler *h = new MessageBoxHandler;
    return *h;
}

QMessageBox::Icon qtIcon(Icon icon) {
    switch (icon) {
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::Error:
        return QMessageBox::Critical;
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

Answer showRealBox(const MessageRequest &request) {
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        // No widgets in this process: log it and take the default.
        qCWarning(lcWindowing).noquote() << request.title + QStringLiteral(": ") + request.text;
        return request.buttons == Buttons::YesNo ? request.defaultButton : Answer::Ok;
    }

    QPointer<QMessageBox> box = new QMessageBox(qtIcon(request.icon),
                                                request.title,
                                                request.text,
                                                QMessageBox::NoButton,
                                                QApplication::activeWindow());
    box->setAttribute(Qt::WA_DeleteOnClose, false);
    box->setWindowModality(Qt::ApplicationModal);
    if (request.buttons == Buttons::YesNo) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(request.defaultButton == Answer::No ? QMessageBox::No
                                                                  : QMessageBox::Yes);
        box->setEscapeButton(QMessageBox::No);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
        box->setDefaultButton(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Ok);
    }
    const int result = box->exec();
    // The parent may have gone away while the box was open, taking the box along.
    delete box.data();

    if (request.buttons == Buttons::Ok)
        return Answer::Ok;
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

QString &title() {
    static QString *t = new QString;
    return *t;
}

} // namespace

void setProgramTitle(const QString &t) {
    title() = t;
}

QString programTitle() {
    return title().isEmpty() ? QGuiApplication::applicationDisplayName() : title();
}

Answer messageBox(const MessageRequest &request) {
    // A copy: the handler may install another one while it answers.
    const MessageBoxHandler h = handler();
    if (h)
        return h(request);
    return showRealBox(request);
}

Answer askYesNo(const QString &text, Answer defaultButton) {
    MessageRequest request;
    request.text = text;
    request.buttons = Buttons::YesNo;
    request.icon = Icon::Question;
    request.defaultButton = defaultButton;
    return messageBox(request);
}

void showError(const QString &text, const QString &title) {
    MessageRequest request;
    request.text = text;
    request.title = title;
    request.buttons = Buttons::Ok;
    request.icon = Icon::Error;
    request.defaultButton = Answer::Ok;
    messageBox(request);
}

void setMessageBoxHandler(MessageBoxHandler h) {
    handler() = std::move(h);
}

} // namespace windowing
