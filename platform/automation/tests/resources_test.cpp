#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "automation/resources.h"

using namespace automation;

namespace {

QByteArray le(std::uint64_t v, int bytes) {
    QByteArray b;
    for (int i = 0; i < bytes; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
    return b;
}

void poke(QByteArray &b, int at, std::uint64_t v, int bytes) {
    b.replace(at, bytes, le(v, bytes));
}

// A minimal ELF64 little-endian file: header, one data section named
// `section`, the section name table and the section header table. Header
// fields a reader of sections has no use for stay zero.
struct ElfLayout {
    QByteArray payload;
    QByteArray section = ".velmora_rsrc";
    std::uint64_t payloadOffsetOverride = 0;
};

QByteArray buildElf(const ElfLayout &layout) {
    QByteArray f(64, '\0');
    f.replace(0,
              4,
              QByteArray("\x7f"
                         "ELF",
                         4));
    f[4] = 2;           // 64-bit
    f[5] = 1;           // little-endian
    poke(f, 58, 64, 2); // section header size

    const std::uint64_t dataOffset = f.size();
    f += layout.payload;
    const std::uint64_t namesOffset = f.size();
    const QByteArray names = QByteArray(1, '\0') + layout.section + '\0' + ".shstrtab" + '\0';
    f += names;
    while (f.size() % 8)
        f.append('\0');
    const std::uint64_t shoff = f.size();

    auto header = [](std::uint32_t name,
                     std::uint32_t type,
                     std::uint64_t off,
                     std::uint64_t size,
                     std::uint32_t link) {
        QByteArray h(64, '\0');
        poke(h, 0, name, 4);
        poke(h, 4, type, 4);
        poke(h, 24, off, 8);
        poke(h, 32, size, 8);
        poke(h, 40, link, 4);
        return h;
    };
    f += header(0, 0, 0, 0, 0);
    f += header(1,
                1,
                layout.payloadOffsetOverride ? layout.payloadOffsetOverride : dataOffset,
                layout.payload.size(),
                0);
    f += header(std::uint32_t(layout.section.size() + 2), 3, namesOffset, names.size(), 0);
    poke(f, 40, shoff, 8);
    poke(f, 60, 3, 2);
    poke(f, 62, 2, 2);
    return f;
}

std::vector<Resource> sample() {
    return {{QStringLiteral("TYPELIB"), QStringLiteral("1"), QByteArray("{\"name\":\"x\"}")},
            {QStringLiteral("CUSTOM"),
             QStringLiteral("_IID_X"),
             QByteArray::fromHex("10000000"
                                 "00112233445566778899aabbccddeeff")},
            {QStringLiteral("BITMAP"), QStringLiteral("30000"), QByteArray()}};
}

} // namespace

TEST(ResourcePacking, EntriesAreFoundInAnyCase) {
    EXPECT_EQ(*findResource(sample(), QStringLiteral("custom"), QStringLiteral("_iid_x")),
              sample()[1].data)
        << "type and name in any case";
    EXPECT_EQ(findResource(sample(), QStringLiteral("CUSTOM"), QStringLiteral("_SRCIID_X"))
                  .error()
                  .number,
              err::ResourceNotFound)
        << "a name that is not there";
}

// Bytes that are not a whole resource section, a library file that cannot
// carry one, a version block that is damaged: each refused, saying why.
enum class Bytes { Section, Library, Version };
struct Damaged {
    const char *name;
    Bytes kind;
    QByteArray (*make)();
    const char *says;
};

QByteArray packed() {
    return packResources(sample());
}

QByteArray elf() {
    return buildElf({packed()});
}

// A data length far beyond the section, which must not be trusted.
QByteArray hugeLength() {
    QByteArray b = packResources({{QStringLiteral("A"), QStringLiteral("B"), QByteArray("x")}});
    poke(b, 8 + 4 + 3 + 3, 0xFFFFFFF0u, 4);
    return b;
}

QByteArray elfWith(int at, char value) {
    QByteArray b = elf();
    b[at] = value;
    return b;
}

QByteArray versionWith(int at, char value) {
    QByteArray b = VersionBlock().serialize();
    b[at] = value;
    return b;
}

class Refused : public ::testing::TestWithParam<Damaged> {};

TEST_P(Refused, SayingWhy) {
    const Damaged &c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lib.so"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << c.name;
    f.write(c.make());
    f.close();
    const QString error = c.kind == Bytes::Section ? unpackResources(c.make()).error().description
                          : c.kind == Bytes::Library
                              ? readResources(path).error().description
                              : VersionBlock::parse(c.make()).error().description;
    EXPECT_TRUE(error.contains(QLatin1String(c.says))) << c.name << ": " << error.toStdString();
    if (c.kind == Bytes::Library) {
        EXPECT_TRUE(error.contains(path)) << c.name << ": names the file";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Resources, Refused,
    ::testing::Values(
        Damaged{
            "OtherMagic", Bytes::Section, [] { return "VLMRSRC2" + packed().mid(8); }, "VLMRSRC1"},
        Damaged{"Short", Bytes::Section, [] { return packed().chopped(1); }, "entry 3 of 3"},
        Damaged{"Stray", Bytes::Section, [] { return packed() + "!"; }, "stray"},
        Damaged{"HugeLength", Bytes::Section, hugeLength, "entry 1 of 1"},
        Damaged{
            "NotElf", Bytes::Library, [] { return QByteArray("some text"); }, "not an ELF file"},
        Damaged{"Elf32", Bytes::Library, [] { return elfWith(4, 1); }, "32-bit"},
        Damaged{"BigEndian", Bytes::Library, [] { return elfWith(5, 2); }, "big-endian"},
        Damaged{"OtherSection",
                Bytes::Library,
                [] {
                    return buildElf({packed(), ".rodata"});
                },
                "no .velmora_rsrc section"},
        Damaged{"Outside",
                Bytes::Library,
                [] {
                    return buildElf({packed(), ".velmora_rsrc", 1u << 30});
                },
                "outside the file"},
        Damaged{"DamagedSection",
                Bytes::Library,
                [] { return buildElf({packed().chopped(2)}); },
                "damaged section"},
        Damaged{"Cut", Bytes::Library, [] { return elf().chopped(10); }, "section header table"},
        Damaged{"ShortVersion",
                Bytes::Version,
                [] { return VersionBlock().serialize().left(30); },
                "claims"},
        Damaged{"VersionKey",
                Bytes::Version,
                [] { return versionWith(6, 'X'); },
                "not a version block"},
        Damaged{"NoSignature",
                Bytes::Version,
                [] { return versionWith(40, 0); },
                "fixed file information"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Resources, AMissingLibraryFileIsNamed) {
    const QString path = QStringLiteral("/nonexistent/velmora/absent.so");
    const auto r = readResources(path);
    ASSERT_FALSE(r) << "expected to fail";
    EXPECT_TRUE(r.error().description.contains(QLatin1String("no such file")))
        << r.error().description.toStdString();
}

TEST(VersionBlock, SerializesAsAVersionInfoNodeTree) {
    VersionBlock v{.major = 1,
                   .revision = 33,
                   .productVersionText = QStringLiteral("1.00.0033"),
                   .description = QStringLiteral("Pellagon 1.0"),
                   .productName = QStringLiteral("Pellagon 1.0"),
                   .internalName = QStringLiteral("pellago")};
    const QByteArray b = v.serialize();

    // Root: length, 52-byte binary value, key "VS_VERSION_INFO" in UTF-16.
    EXPECT_EQ(std::uint16_t(uchar(b[0]) | uchar(b[1]) << 8), b.size());
    EXPECT_EQ(b.mid(2, 4).toHex(), "34000000") << "a 52-byte binary value";
    EXPECT_EQ(b.mid(6, 32), QByteArray(reinterpret_cast<const char *>(u"VS_VERSION_INFO"), 32))
        << "the root's key";
    // Fixed file info at 40: signature, structure version, file and product version.
    EXPECT_EQ(b.mid(40, 24).toHex(),
              "bd04effe"
              "00000100"
              "00000100"
              "21000000"
              "00000100"
              "21000000")
        << "signature, structure version, file and product version";
    // Strings as UTF-16 with their NUL.
    EXPECT_TRUE(b.contains(QByteArray(reinterpret_cast<const char *>(u"1.00.0033"), 20)))
        << "the product version text";
    EXPECT_TRUE(b.contains(QByteArray(reinterpret_cast<const char *>(u"040904B0"), 18)))
        << "the string table's language and code page";
    EXPECT_EQ(b.size() % 2, 0) << "whole UTF-16 units";

    // Reading back (with the self-registration mark) is checked on a built library.
    v.selfRegister = false;
    const QByteArray plain = v.serialize();
    EXPECT_FALSE(plain.contains(QByteArray(reinterpret_cast<const char *>(u"OLESelfRegister"), 30)))
        << "no self-registration mark";
    const auto back = VersionBlock::parse(plain);
    ASSERT_TRUE(back) << back.error().description.toStdString();
    EXPECT_EQ(back->serialize(), plain) << "every field read back";
}
