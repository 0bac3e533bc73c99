// Pellagon hosted on a form: the balloon records the shell receives,
// persistence (face and size are the tray controls' shared ones).
#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "automation/server.h"
#include "pellago_dispids.h"
#include "shell/records.h"
#include "shell/testing.h"
#include "windowing/formsite.h"

using namespace automation;
namespace dispid = pellago::dispid;

namespace {

// A traced balloon record: the header, zeros, then text, title and flags.
QByteArray record(std::uint32_t window, const QByteArray &text, const QByteArray &title,
                  std::uint32_t flags) {
    QByteArray r = QByteArray(160, '\0') + text + '\0' + QByteArray(255 - text.size(), ' ') +
                   QByteArray(4, '\0') + title + '\0' + QByteArray(67 - title.size(), ' ');
    for (auto [offset, value] :
         {std::pair(0, 488u), {4, window}, {8, 1u}, {12, 0x10u}, {484, flags}})
        shell::writeU32(r, offset, value);
    return "modify " + r.toHex(' ');
}

QWidget *form;
std::unique_ptr<windowing::HostedControl> host;

Result<> create(const PropertyBag *bag = nullptr) {
    host = TRY(windowing::HostedControl::create(
        form, QStringLiteral("pellago.Pellagon"), {.bag = bag, .size = SizeTwips{2000, 1000}}));
    return {};
}
std::int32_t messageType() {
    return host->control()->get(dispid::MessageType).value_or(Variant(-1)).toI4().value_or(-1);
}

} // namespace

TEST(Pellagon, ShowBalloonMessageHandsTheShellTheBalloonRecord) {
    ASSERT_TRUE(create());
    const QString letters = QString::fromLatin1("abcdefghij");
    const struct {
        std::int32_t type;
        QString prompt, title;
        QByteArray text, titleBytes;
    } cases[] = {
        {1, "abc", "Velmora", "abc", "Velmora"},
        {3,
         letters.repeated(30),
         letters.repeated(10),
         letters.repeated(30).left(255).toLatin1(),
         letters.repeated(10).left(63).toLatin1()},
        {7,
         QStringLiteral("Усилитель включен"),
         QStringLiteral("Ламповый"),
         "\xd3\xf1\xe8\xeb\xe8\xf2\xe5\xeb\xfc \xe2\xea\xeb\xfe\xf7\xe5\xed",
         "\xcb\xe0\xec\xef\xee\xe2\xfb\xe9"},
        {0, "", "", "", ""},
    };
    for (const auto &c : cases) {
        EXPECT_TRUE(host->control()->put(dispid::MessageType, Variant(c.type)) &&
                    messageType() == c.type);
        EXPECT_TRUE(host->control()->call(dispid::ShowBalloonMessage,
                                          {Variant(c.prompt), Variant(c.title), Variant(0x2345)}));
        EXPECT_EQ(shell::testing::takeTrace(),
                  record(0x2345, c.text, c.titleBytes, std::uint32_t(c.type)))
            << c.type;
    }
}

TEST(Pellagon, MessageTypePersists) {
    ASSERT_TRUE(create());
    PropertyBag unchanged, zero, saved;
    ASSERT_TRUE(host->save(unchanged) && host->control()->put(dispid::MessageType, Variant(-5)) &&
                host->control()->put(dispid::MessageType, Variant(0)));
    ASSERT_TRUE(host->save(zero) && host->control()->put(dispid::MessageType, Variant(7)) &&
                host->save(saved));
    EXPECT_EQ(std::tuple(unchanged.toText() + zero.toText() + saved.toText(),
                         host->site().changedProperties()),
              std::tuple(QByteArray("MessageType = I4:7\n"),
                         std::vector<DispId>(3, dispid::MessageType)));
    const struct {
        QByteArray stored;
        int error;
        std::int32_t loaded;
    } loads[] = {
        {"MessageType = I4:7\n", 0, 7},
        {"", 0, 0},
        {"MessageType = BStr:\"2\"\n", 0, 2},
        {"MessageType = BStr:\"two\"\n", 13, -1},
    };
    for (const auto &l : loads) {
        const Result<> r = create(&*PropertyBag::fromText(l.stored));
        EXPECT_EQ(std::pair(r ? 0 : r.error().number, r ? messageType() : -1),
                  std::pair(l.error, l.loaded))
            << l.stored.data();
    }
}

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("VELMORA_REGISTRY", QFile::encodeName(dir.filePath(QStringLiteral("registry"))));
    qputenv("VELMORA_SHELL_TRACE", QFile::encodeName(dir.filePath(QStringLiteral("trace"))));
    const auto library = loadLibrary(qEnvironmentVariable("PELLAGO_LIB"));
    if (!library || !library->registerServer())
        qFatal("cannot register $PELLAGO_LIB");
    testing::InitGoogleTest(&argc, argv);
    QWidget window;
    form = &window;
    const int result = RUN_ALL_TESTS();
    return host.reset(), result;
}
