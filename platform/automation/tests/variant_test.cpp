#include <gtest/gtest.h>

#include <cmath>

#include "automation/picture.h"
#include "automation/variant.h"

using namespace automation;

TEST(Variant, ConversionsFollowTheAutomationRules) {
    const struct {
        Variant from;
        VarType to;
        Variant want;           // when the conversion succeeds
        std::int32_t error = 0; // else its error number
    } cases[] = {
        // Booleans are -1 and 0; any non-zero number is True.
        {Variant::fromBool(true), VarType::I4, Variant(std::int32_t(-1))},
        {Variant::fromBool(false), VarType::I2, Variant(std::int16_t(0))},
        {Variant(std::int16_t(-1)), VarType::Bool, Variant::fromBool(true)},
        {Variant(std::int32_t(2)), VarType::Bool, Variant::fromBool(true)},
        {Variant(std::int32_t(0)), VarType::Bool, Variant::fromBool(false)},
        {Variant("true"), VarType::Bool, Variant::fromBool(true)},
        {Variant::fromBool(true), VarType::BStr, Variant("True")},
        // Doubles round half to even; integers are range-checked.
        {Variant(2.5), VarType::I2, Variant(std::int16_t(2))},
        {Variant(3.5), VarType::I2, Variant(std::int16_t(4))},
        {Variant(-2.5), VarType::I4, Variant(std::int32_t(-2))},
        {Variant(std::int32_t(40000)), VarType::I2, {}, err::Overflow},
        {Variant(1e12), VarType::I4, {}, err::Overflow},
        {Variant(std::nan("")), VarType::I4, {}, err::Overflow},
        // Strings read as numbers.
        {Variant(" 1.0 "), VarType::I2, Variant(std::int16_t(1))},
        {Variant("-7"), VarType::I4, Variant(std::int32_t(-7))},
        {Variant("COM1"), VarType::I2, {}, err::TypeMismatch},
        {Variant(""), VarType::R8, {}, err::TypeMismatch},
        {Variant(), VarType::I4, Variant(std::int32_t(0))},
        {Variant(), VarType::BStr, Variant(QString())},
        // Objects convert through their default member.
        {Variant(makePicture(0x1234)), VarType::I4, Variant(std::int32_t(0x1234))},
        {Variant(makePicture(7)), VarType::BStr, Variant("7")},
        {Variant(std::int32_t(5)), VarType::Dispatch, {}, err::TypeMismatch},
        {Variant(DispatchPtr()), VarType::I4, {}, err::ObjectRequired},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.from.describe().toStdString() + " as " + varTypeName(c.to).toStdString());
        const Result<> r = c.from.convert(c.to);
        if (c.error) {
            ASSERT_FALSE(r);
            EXPECT_EQ(r.error().number, c.error);
            EXPECT_EQ(r.error().description, standardDescription(c.error));
        } else {
            ASSERT_TRUE(r) << r.error().description.toStdString();
            EXPECT_EQ(*r, c.want);
        }
    }
}
