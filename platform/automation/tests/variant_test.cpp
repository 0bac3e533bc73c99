// Conversions between variant types: each row a value, the type it is
// converted to, and what comes out (or the error it fails with).
#include <gtest/gtest.h>

#include <cmath>

#include "automation/picture.h"
#include "automation/variant.h"

using namespace automation;

namespace {

struct Conversion {
    const char *name;
    Variant from;
    VarType to;
    Variant want;           // when the conversion succeeds
    std::int32_t error = 0; // else its error number
};

class Converting : public ::testing::TestWithParam<Conversion> {};

TEST_P(Converting, FollowsTheAutomationRules) {
    const Conversion &c = GetParam();
    const Result<> r = c.from.convert(c.to);
    if (c.error) {
        ASSERT_FALSE(r) << c.name << ": expected to fail";
        EXPECT_EQ(r.error().number, c.error) << c.name << ": its error number";
        EXPECT_EQ(r.error().description, standardDescription(c.error)) << c.name;
        return;
    }
    ASSERT_TRUE(r) << c.name << ": " << r.error().description.toStdString();
    EXPECT_EQ(*r, c.want) << c.name << ": got " << r->describe().toStdString();
}

const std::int16_t I2_0 = 0, I2_1 = 1, I2_2 = 2, I2_4 = 4;
const std::int32_t I4_0 = 0, I4_2 = 2, I4_40000 = 40000;
const Variant True = Variant::fromBool(true), False = Variant::fromBool(false);

// Booleans are -1 and 0, any non-zero number is True; doubles round half to
// even and integers are range-checked; strings read as numbers; objects
// convert through their default member.
INSTANTIATE_TEST_SUITE_P(
    Variant, Converting,
    ::testing::Values(
        Conversion{"TrueIsMinusOne", True, VarType::I4, Variant(std::int32_t(-1))},
        Conversion{"FalseIsZero", False, VarType::I2, Variant(I2_0)},
        Conversion{"NonZeroIsTrue", Variant(I4_2), VarType::Bool, True},
        Conversion{"ZeroIsFalse", Variant(I4_0), VarType::Bool, False},
        Conversion{"TextTrue", Variant("true"), VarType::Bool, True},
        Conversion{"TrueAsText", True, VarType::BStr, Variant("True")},
        Conversion{"HalfDown", Variant(2.5), VarType::I2, Variant(I2_2)},
        Conversion{"HalfUp", Variant(3.5), VarType::I2, Variant(I2_4)},
        Conversion{"NegativeHalf", Variant(-2.5), VarType::I4, Variant(std::int32_t(-2))},
        Conversion{"I4ToI2Overflow", Variant(I4_40000), VarType::I2, {}, err::Overflow},
        Conversion{"DoubleToI4Overflow", Variant(1e12), VarType::I4, {}, err::Overflow},
        Conversion{"NaN", Variant(std::nan("")), VarType::I4, {}, err::Overflow},
        Conversion{"BlanksAndDecimals", Variant(" 1.0 "), VarType::I2, Variant(I2_1)},
        Conversion{"TextNotANumber", Variant("COM1"), VarType::I2, {}, err::TypeMismatch},
        Conversion{"EmptyText", Variant(""), VarType::R8, {}, err::TypeMismatch},
        Conversion{"EmptyAsI4", Variant(), VarType::I4, Variant(I4_0)},
        Conversion{"EmptyAsText", Variant(), VarType::BStr, Variant(QString())},
        Conversion{"Picture", Variant(makePicture(0x1234)), VarType::I4, Variant(0x1234)},
        Conversion{"PictureAsText", Variant(makePicture(7)), VarType::BStr, Variant("7")},
        Conversion{"NumberAsObject", Variant(I4_2), VarType::Dispatch, {}, err::TypeMismatch},
        Conversion{"NoObject", Variant(DispatchPtr()), VarType::I4, {}, err::ObjectRequired}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
