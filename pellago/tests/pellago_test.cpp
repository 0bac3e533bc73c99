// Pellagon hosted on a form: the balloon record the shell receives, and persistence.
#include <QApplication>

#include <gtest/gtest.h>

#include "pellago_dispids.h"
#include "shell/records.h"
#include "shell/testing.h"
#include "windowing/formsite.h"

using namespace automation;
namespace dispid = pellago::dispid;

namespace {

QWidget *form;
std::unique_ptr<windowing::HostedControl> host;

Result<> create(const char *bag = nullptr) {
    const Result<PropertyBag> stored = PropertyBag::fromText(bag);
    const PropertyBag *loaded = bag ? &*stored : nullptr;
    host = TRY(windowing::HostedControl::create(form, "pellago.Pellagon", {.bag = loaded}));
    return {};
}

} // namespace

// Any message type goes out as the icon flags; the texts are cut to their fields.
TEST(Pellagon, ShowBalloonMessageHandsTheShellTheBalloonRecord) {
    ASSERT_TRUE(create());
    ASSERT_TRUE(host->control()->put(dispid::MessageType, Variant(7)));
    const QString text = QString("abcdefghij").repeated(30);
    const std::vector<Variant> args{Variant(text), Variant(text.left(70)), Variant(0x2345)};
    ASSERT_TRUE(host->control()->call(dispid::ShowBalloonMessage, args));
    QByteArray r = QByteArray(160, '\0') + text.left(255).toLatin1() + '\0' + QByteArray(4, '\0') +
                   text.left(63).toLatin1() + '\0' + QByteArray(4, ' ');
    for (auto [offset, value] : {std::pair(0, 488u), {4, 0x2345u}, {8, 1u}, {12, 16u}, {484, 7u}})
        shell::writeU32(r, offset, value);
    EXPECT_EQ(shell::testing::takeTrace(), "modify " + r.toHex(' '));
}

// The type is saved unless it is 0, each change told to the site.
TEST(Pellagon, MessageTypeIsSavedWhenSet) {
    ASSERT_TRUE(create());
    PropertyBag unset, saved;
    ASSERT_TRUE(host->save(unset));
    ASSERT_TRUE(host->control()->put(dispid::MessageType, Variant(7)));
    ASSERT_TRUE(host->save(saved));
    EXPECT_EQ(unset.toText(), "") << "0 is not saved";
    EXPECT_EQ(saved.toText(), "MessageType = I4:7\n") << "7 is";
    EXPECT_EQ(host->site().changedProperties().size(), 1u) << "the change told once";
}

struct Stored {
    const char *name;
    const char *bag;
    int error;
    std::int32_t loaded;
};

class PellagonLoad : public ::testing::TestWithParam<Stored> {};

TEST_P(PellagonLoad, TakesTheTypeAsANumber) {
    const Result<> r = create(GetParam().bag);
    EXPECT_EQ(r ? 0 : r.error().number, GetParam().error) << GetParam().name << ": its error";
    const Result<Variant> type = r ? host->control()->get(dispid::MessageType) : Variant(-1);
    EXPECT_EQ(type->toI4().value_or(-2), GetParam().loaded) << GetParam().name << ": the type";
}

INSTANTIATE_TEST_SUITE_P(
    Pellagon, PellagonLoad,
    ::testing::Values(Stored{"Absent", "", 0, 0},
                      Stored{"AsText", "MessageType = BStr:\"2\"\n", 0, 2},
                      Stored{"NotANumber", "MessageType = BStr:\"two\"\n", 13, -1}),
    [](const auto &info) { return std::string(info.param.name); });

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    shell::testing::registerControl("PELLAGO_LIB");
    testing::InitGoogleTest(&argc, argv);
    QWidget window;
    form = &window;
    const int result = RUN_ALL_TESTS();
    host.reset();
    return result;
}
