// The desktop's style as the panel wraps it: no image format plugin loaded by
// what the panel's forms hold, and the same pixels as the wrapped style.
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QMainWindow>
#include <QMenuBar>
#include <QStyleFactory>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

#include "desktopstyle.h"

namespace {

bool imagePluginsMapped() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("/imageformats/");
}

void drawMenuBar() {
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("Файл"));
    window.resize(300, 200);
    window.grab();
}

void drawGroupBox() {
    QGroupBox box(QStringLiteral("Коммутатор входов"));
    box.resize(200, 120);
    box.grab();
}

struct PluginCase {
    const char *name;
    bool wrapped;
    void (*draw)();
    int exitCode; // 0: no image plugin mapped after drawing
};

class ImagePlugins : public ::testing::TestWithParam<PluginCase> {};

// Each row runs in a process of its own, where nothing has read a picture yet.
TEST_P(ImagePlugins, MappedAfterDrawing) {
    const PluginCase &c = GetParam();
    EXPECT_EXIT(
        {
            QApplication::setStyle(QStyleFactory::create(QStringLiteral("fusion")));
            if (c.wrapped)
                velmora::useDesktopStyle();
            c.draw();
            std::_Exit(imagePluginsMapped() ? 1 : 0);
        },
        ::testing::ExitedWithCode(c.exitCode),
        "")
        << c.name << ": expected exit code " << c.exitCode;
}

const PluginCase pluginCases[] = {
    {"MenuBarWrapped", true, drawMenuBar, 0},
    {"GroupBoxWrapped", true, drawGroupBox, 0},
    // What the wrapping spares: the check sees the plugins Fusion alone loads.
    {"MenuBarFusionAlone", false, drawMenuBar, 1},
    {"GroupBoxFusionAlone", false, drawGroupBox, 1},
};

INSTANTIATE_TEST_SUITE_P(DesktopStyle, ImagePlugins, ::testing::ValuesIn(pluginCases),
                         [](const auto &info) { return std::string(info.param.name); });

struct BoxCase {
    const char *name;
    const char *title;
    bool checkable;
};

class GroupBoxPixels : public ::testing::TestWithParam<BoxCase> {};

QImage drawnBox(const BoxCase &c, QStyle *style) {
    QGroupBox box(QString::fromUtf8(c.title));
    box.setCheckable(c.checkable);
    box.setStyle(style);
    box.resize(220, 130);
    return box.grab().toImage();
}

TEST_P(GroupBoxPixels, SameAsFusion) {
    const BoxCase &c = GetParam();
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("fusion")));
    velmora::DesktopStyle wrapped(QStyleFactory::create(QStringLiteral("fusion")));
    const QImage expected = drawnBox(c, fusion.get());
    EXPECT_EQ(drawnBox(c, &wrapped), expected) << c.name << ": the group box as Fusion draws it";
}

const BoxCase boxCases[] = {
    {"Titled", "Коммутатор входов", false},
    {"Untitled", "", false},
    {"Checkable", "Ждущий режим", true},
    {"CheckableUntitled", "", true},
};

INSTANTIATE_TEST_SUITE_P(DesktopStyle, GroupBoxPixels, ::testing::ValuesIn(boxCases),
                         [](const auto &info) { return std::string(info.param.name); });

struct IconCase {
    const char *name;
    QStyle::StandardPixmap which;
    int size;
};

class ExtensionIcon : public ::testing::TestWithParam<IconCase> {};

TEST_P(ExtensionIcon, SameAsFusion) {
    const IconCase &c = GetParam();
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("fusion")));
    velmora::DesktopStyle wrapped(QStyleFactory::create(QStringLiteral("fusion")));
    const QImage expected = fusion->standardIcon(c.which).pixmap(c.size).toImage();
    EXPECT_EQ(wrapped.standardIcon(c.which).pixmap(c.size).toImage(), expected)
        << c.name << ": the extension button's icon as Fusion's";
}

const IconCase iconCases[] = {
    {"Horizontal8", QStyle::SP_ToolBarHorizontalExtensionButton, 8},
    {"Horizontal16", QStyle::SP_ToolBarHorizontalExtensionButton, 16},
    {"Horizontal32", QStyle::SP_ToolBarHorizontalExtensionButton, 32},
    {"Vertical16", QStyle::SP_ToolBarVerticalExtensionButton, 16},
};

INSTANTIATE_TEST_SUITE_P(DesktopStyle, ExtensionIcon, ::testing::ValuesIn(iconCases),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace

int main(int argc, char **argv) {
    // A death test's process starts the program anew, with an application of its own.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
