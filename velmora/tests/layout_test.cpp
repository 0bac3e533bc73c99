// The three windows as designed: one table per window (layouts/*.txt), a line
// per control as describe() tells it, the focus order ("tab"), the menu bar
// ("menu"), and a check box clicked on its text's second line ("click").
#include "panel.h"

#include <QComboBox>
#include <QFontInfo>
#include <QMenuBar>
#include <QTest>

using namespace paneltest;

namespace {

// Name, place and size (a main window's: its central widget's on the screen);
// the font (family/pixels[/bold]) and colour where the control has its own;
// "fixed" and the title bar's buttons of a window; "disabled", "checked",
// "focus"; a list's entries; the caption in quotes.
QString describe(QWidget *w) {
    auto *main = qobject_cast<QMainWindow *>(w);
    const QRect r =
        main ? QRect(main->centralWidget()->mapToGlobal(QPoint()), main->centralWidget()->size())
             : w->geometry();
    QStringList s{
        w->objectName(),
        QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())};
    if (const QFontInfo font(w->font()); w->testAttribute(Qt::WA_SetFont))
        s << font.family() + '/' + QString::number(font.pixelSize()) + (font.bold() ? "/bold" : "");
    if (w->testAttribute(Qt::WA_SetPalette))
        s << w->palette().color(QPalette::WindowText).name();
    const Qt::WindowFlags f = w->windowFlags();
    const auto button = [&](Qt::WindowType hint) {
        return w->isWindow() && (f & hint || !(f & Qt::CustomizeWindowHint));
    };
    for (const auto &[on, name] :
         {std::pair{w->isWindow() && w->minimumSize() == w->maximumSize(), "fixed"},
          {button(Qt::WindowMinimizeButtonHint), "min"},
          {button(Qt::WindowMaximizeButtonHint), "max"},
          {button(Qt::WindowCloseButtonHint), "close"},
          {!w->isEnabled(), "disabled"},
          {w->property("checked").toBool(), "checked"},
          {w->window()->focusWidget() == w, "focus"}})
        if (on)
            s << name;
    if (auto *list = qobject_cast<QComboBox *>(w))
        for (int i = 0; i < list->count(); ++i)
            s << list->itemText(i);
    const QVariant text = w->isWindow()                   ? w->windowTitle()
                          : w->property("text").isValid() ? w->property("text")
                                                          : w->property("title");
    return (s << (text.isValid() ? '"' + text.toString() + '"' : QString())).join(' ').trimmed();
}

} // namespace

TEST_F(PanelTest, TheWindowsAreAsDesigned) {
    run({{"load", "- - icon"}, {"Nastr1", "- - Nastr"}, {"About1", "- - About Nastr"}});
    for (const char *name : {"main", "nastr", "about"}) {
        QFile table(QStringLiteral(TABLES "/layouts/%1.txt").arg(name));
        ASSERT_TRUE(table.open(QIODevice::ReadOnly | QIODevice::Text)) << name;
        const QStringList lines =
            QString::fromUtf8(table.readAll()).split('\n', Qt::SkipEmptyParts);
        QWidget *window = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            window = w->objectName() == lines.value(0).section(' ', 0, 0) ? w : window;
        ASSERT_TRUE(window) << name;
        QStringList tab{"tab"}, menu;
        for (QWidget *w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain())
            tab << (w->focusPolicy() & Qt::TabFocus ? w->objectName() : QString());
        for (QAction *a : window->findChild<QMenuBar *>()
                              ? window->findChild<QMenuBar *>()->actions()
                              : QList<QAction *>()) {
            QStringList held;
            for (QAction *entry : a->menu() ? a->menu()->actions() : QList<QAction *>())
                held << entry->text();
            menu << a->text() + (held.isEmpty() ? "" : " (" + held.join(", ") + ")");
        }
        for (const QString &line : lines) {
            const QString key = line.section(' ', 0, 0);
            QWidget *control =
                key == window->objectName()
                    ? window
                    : window->findChild<QWidget *>(key == "click" ? line.section(' ', 1, 1) : key);
            if (key == "click" && control)
                QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(40, control->height() - 5));
            const QString seen = key == "tab"    ? tab.join(' ').simplified()
                                 : key == "menu" ? "menu " + menu.join(" | ")
                                 : control ? (key == "click" ? "click " : "") + describe(control)
                                           : "missing " + key;
            EXPECT_EQ(seen.toStdString(), line.toStdString());
        }
    }
}
