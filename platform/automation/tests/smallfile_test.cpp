// The small-file reader: each size rule at its edge, and what is not a
// regular file refused at once, never waited on nor read without end.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "automation/smallfile.h"

using namespace automation;

namespace {

constexpr qint64 Cap = 100;

enum class Kind { Plain, EndlessDevice };

struct Reading {
    const char *name;
    Kind kind;
    qint64 size; // bytes written to a plain file
    Oversize oversize;
    qint64 gives;     // bytes read, or -1 for an error
    const char *says; // the error's description
};

class SmallFile : public ::testing::TestWithParam<Reading> {};

TEST_P(SmallFile, KeepsItsSizeRuleAndReadsOnlyRegularFiles) {
    const Reading &c = GetParam();
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("file"));
    if (c.kind == Kind::EndlessDevice)
        path = QStringLiteral("/dev/zero");
    else {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(QByteArray(c.size, 'x')), c.size);
    }
    const Result<QByteArray> r = readSmallFile(path, Cap, c.oversize);
    if (c.gives < 0) {
        ASSERT_FALSE(r) << c.name << ": expected to fail";
        EXPECT_EQ(r.error().description, QString::fromUtf8(c.says)) << c.name;
        EXPECT_EQ(r.error().number, err::FileAccessError) << c.name << ": its error number";
    } else {
        ASSERT_TRUE(r) << c.name << ": " << r.error().description.toStdString();
        EXPECT_EQ(*r, QByteArray(c.gives, 'x')) << c.name << ": what was read";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Reader, SmallFile,
    ::testing::Values(Reading{"EmptyFile", Kind::Plain, 0, Oversize::Refuse, 0, ""},
                      Reading{"AtTheCap", Kind::Plain, Cap, Oversize::Refuse, Cap, ""},
                      Reading{"BeyondTheCapRefused",
                              Kind::Plain,
                              Cap + 1,
                              Oversize::Refuse,
                              -1,
                              "larger than 100 bytes"},
                      Reading{"BeyondTheCapCut", Kind::Plain, 5 * Cap, Oversize::Truncate, Cap, ""},
                      Reading{"EndlessDevice",
                              Kind::EndlessDevice,
                              0,
                              Oversize::Truncate,
                              -1,
                              "not a regular file: a device"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Reader, AMissingFileIsFileNotFound) {
    const Result<QByteArray> r =
        readSmallFile(QStringLiteral("/nonexistent/velmora"), Cap, Oversize::Refuse);
    ASSERT_FALSE(r) << "a missing file";
    EXPECT_EQ(r.error().number, err::FileNotFound) << "told apart from other failures";
}

} // namespace
