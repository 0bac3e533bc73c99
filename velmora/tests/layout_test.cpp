// The three windows as designed, against one table per window (layouts/*.txt):
// a line per control as describe() tells it, "tab" for the focus order,
// "menu" for the menu bar.
#include "panel.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QMenuBar>
#include <QTest>

using namespace paneltest;

namespace {

// Name, place and size, "fixed" and the title bar's buttons (windows), font
// (family/pixels/bold) and colour where the control has its own, "disabled", "checked",
// the list's entries, then the caption in quotes.
QString describe(QWidget* w)
{
    auto* main = qobject_cast<QMainWindow*>(w);
    const QRect r = main ? QRect(main->centralWidget()->mapToGlobal(QPoint()), main->centralWidget()->size()) : w->geometry();
    QStringList s{w->objectName(), QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())};
    if (w->isWindow()) {
        const Qt::WindowFlags f = w->windowFlags();
        s << (w->minimumSize() == w->maximumSize() ? "fixed" : "sizeable");
        for (const auto& [hint, name] : {std::pair{Qt::WindowMinimizeButtonHint, "min"}, {Qt::WindowMaximizeButtonHint, "max"}, {Qt::WindowCloseButtonHint, "close"}})
            if (!(f & Qt::CustomizeWindowHint) || (f & hint))
                s << name;
    }
    if (w->testAttribute(Qt::WA_SetFont))
        s << QStringLiteral("%1/%2%3").arg(QFontInfo(w->font()).family()).arg(QFontInfo(w->font()).pixelSize()).arg(w->font().bold() ? "/bold" : "");
    if (w->testAttribute(Qt::WA_SetPalette))
        s << w->palette().color(QPalette::WindowText).name();
    if (!w->isEnabled())
        s << QStringLiteral("disabled");
    if (auto* b = qobject_cast<QAbstractButton*>(w); b && b->isChecked())
        s << QStringLiteral("checked");
    if (auto* list = qobject_cast<QComboBox*>(w))
        for (int i = 0; i < list->count(); ++i)
            s << list->itemText(i);
    const QVariant text = w->isWindow() ? w->windowTitle() : w->property(qobject_cast<QGroupBox*>(w) ? "title" : "text");
    return (s << (text.isValid() ? '"' + text.toString() + '"' : QString())).join(' ').trimmed();
}

QString tabOrder(QWidget* window)
{
    QStringList names{QStringLiteral("tab")};
    for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus && w->isVisibleTo(window))
            names << w->objectName();
    return names.join(' ');
}

QString menu(QWidget* window)
{
    QStringList entries;
    for (QAction* a : window->findChild<QMenuBar*>()->actions()) {
        QStringList held;
        for (QAction* entry : a->menu() ? a->menu()->actions() : QList<QAction*>())
            held << entry->text();
        entries << a->text() + (held.isEmpty() ? QString() : " (" + held.join(", ") + ")");
    }
    return "menu " + entries.join(" | ");
}

} // namespace

TEST_F(PanelTest, TheWindowsAreAsDesigned)
{
    run({{"load", "- - icon"}, {"Nastr1", "- - Nastr"}, {"About1", "- - About Nastr"}});
    for (const char* name : {"main", "nastr", "about"}) {
        QFile table(QStringLiteral(LAYOUTS "/%1.txt").arg(name));
        ASSERT_TRUE(table.open(QIODevice::ReadOnly | QIODevice::Text)) << name;
        QWidget* window = nullptr;
        for (const QString& line : QString::fromUtf8(table.readAll()).split('\n', Qt::SkipEmptyParts)) {
            const QString key = line.section(' ', 0, 0), arg = line.section(' ', 1, 1);
            for (QWidget* w : QApplication::topLevelWidgets())
                window = window ? window : w->objectName() == key ? w : nullptr;
            const bool ofWindow = key == "tab" || key == "menu" || key == "focus" || window->objectName() == key;
            QWidget* control = ofWindow ? window : window->findChild<QWidget*>(key == "click" ? arg : key);
            ASSERT_TRUE(control) << qPrintable(line);
            if (key == "click")   // on the text's second line
                QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(40, control->height() - 5));
            const QString seen = key == "tab" ? tabOrder(window) : key == "menu" ? menu(window) : key == "focus" ? "focus " + window->focusWidget()->objectName()
                               : key == "click" ? describe(control).prepend("click ") : describe(control);
            EXPECT_EQ(seen.toStdString(), line.toStdString());
        }
    }
}
