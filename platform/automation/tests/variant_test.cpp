#include <gtest/gtest.h>

#include "automation/picture.h"
#include "automation/variant.h"

using namespace automation;

TEST(Variant, BooleansAreMinusOneAndZero)
{
    EXPECT_EQ(Variant::fromBool(true).toI4(), -1);
    EXPECT_EQ(Variant::fromBool(false).toI4(), 0);
    EXPECT_EQ(Variant(std::int16_t(-1)).toBool(), true);
    EXPECT_EQ(Variant(std::int32_t(2)).toBool(), true);
    EXPECT_EQ(Variant(std::int32_t(0)).toBool(), false);
    EXPECT_EQ(Variant(QStringLiteral("true")).toBool(), true);
    EXPECT_EQ(Variant::fromBool(true).toBStr(), QStringLiteral("True"));
}

TEST(Variant, IntegerConversionsRoundHalfToEvenAndCheckRange)
{
    EXPECT_EQ(Variant(2.5).convert(VarType::I2)->i2(), 2);
    EXPECT_EQ(Variant(3.5).convert(VarType::I2)->i2(), 4);
    EXPECT_EQ(Variant(-2.5).convert(VarType::I4)->i4(), -2);
    Error e;
    EXPECT_FALSE(Variant(std::int32_t(40000)).convert(VarType::I2, &e));
    EXPECT_EQ(e.number, err::Overflow);
    EXPECT_FALSE(Variant(1e12).convert(VarType::I4, &e));
    EXPECT_EQ(e.number, err::Overflow);
}

TEST(Variant, StringsConvertAsNumbersOrFailWithTypeMismatch)
{
    EXPECT_EQ(Variant(QStringLiteral(" 1.0 ")).convert(VarType::I2)->i2(), 1);
    EXPECT_EQ(Variant(QStringLiteral("-7")).toI4(), -7);
    Error e;
    EXPECT_FALSE(Variant(QStringLiteral("COM1")).convert(VarType::I2, &e));
    EXPECT_EQ(e.number, err::TypeMismatch);
    EXPECT_EQ(e.description, QStringLiteral("Type mismatch"));
    EXPECT_FALSE(Variant(QStringLiteral("")).toR8(&e));
    EXPECT_EQ(Variant().toI4(), 0);
    EXPECT_EQ(Variant().toBStr(), QString());
}

TEST(Variant, ObjectsConvertThroughTheirDefaultMember)
{
    Variant pic(makePicture(0x1234));
    EXPECT_EQ(pic.toI4(), 0x1234);
    Error e;
    EXPECT_FALSE(Variant(std::int32_t(5)).convert(VarType::Dispatch, &e));
    EXPECT_EQ(e.number, err::TypeMismatch);
    EXPECT_FALSE(Variant(DispatchPtr()).toI4(&e));
    EXPECT_EQ(e.number, err::ObjectRequired);
}

TEST(Variant, DescribeShowsTypeAndValue)
{
    EXPECT_EQ(Variant(std::int16_t(5)).describe(), QStringLiteral("I2:5"));
    EXPECT_EQ(Variant::fromBool(false).describe(), QStringLiteral("Bool:False"));
    EXPECT_EQ(Variant(QStringLiteral("a\"b")).describe(), QStringLiteral("BStr:\"a\\\"b\""));
    EXPECT_EQ(Variant::missing().describe(), QStringLiteral("Missing"));
}
