// The resources velmora_add_resources packs into a control library, read back
// from the library file by its section headers, without loading it.
#include "tools_test_support.h"

#include "automation/resources.h"
#include "automation/typeinfo.h"

using namespace automation;
using namespace toolstest;

namespace {

std::vector<Resource> resourcesOfTestLibrary()
{
    auto all = readResources(envPath("TESTCTL_LIB"));
    EXPECT_TRUE(all) << all.error().description.toStdString();
    return all.value_or(std::vector<Resource>{});
}

bool mappedIntoThisProcess(const QString& file)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    return maps.readAll().contains(QFile::encodeName(QFileInfo(file).fileName()));
}

} // namespace

TEST(LibraryResources, InterfaceIdRecordsHoldLengthAndGuidInWindowsByteOrder)
{
    const auto all = resourcesOfTestLibrary();
    // {5d0c7a21-93b4-4f6e-8a1d-2b7e4c90f003}: Data1, Data2, Data3 little-endian, then Data4.
    EXPECT_EQ(findResource(all, QStringLiteral("CUSTOM"), QStringLiteral("_IID_WIDGET")).value_or(QByteArray()).toHex(),
              QByteArray("10000000" "217a0c5d" "b493" "6e4f" "8a1d2b7e4c90f003"));
    EXPECT_EQ(findResource(all, QStringLiteral("CUSTOM"), QStringLiteral("_SRCIID_WIDGET")).value_or(QByteArray()).toHex(),
              QByteArray("10000000" "217a0c5d" "b493" "6e4f" "8a1d2b7e4c90f004"));
    EXPECT_FALSE(mappedIntoThisProcess(envPath("TESTCTL_LIB")));
}

TEST(LibraryResources, TypeLibraryVersionBlockAndBitmapAreCarried)
{
    const auto all = resourcesOfTestLibrary();
    ASSERT_EQ(all.size(), 5u);

    const auto typelib = findResource(all, QStringLiteral("TYPELIB"), QStringLiteral("1"));
    ASSERT_TRUE(typelib);
    auto lib = TypeLibrary::parse(*typelib);
    ASSERT_TRUE(lib) << lib.error().description.toStdString();
    EXPECT_EQ(lib->name, QStringLiteral("velmoratest"));
    EXPECT_EQ(lib->majorVersion, 2);
    EXPECT_EQ(lib->minorVersion, 5);
    EXPECT_EQ(lib->helpString, QStringLiteral("Velmora test widget 2.5"));
    EXPECT_TRUE(lib->defaultInterface.idOfName(QStringLiteral("describe")) == 0x60030005);
    EXPECT_EQ(lib->eventInterface.events.size(), 2u);
    // Stored in canonical form: what the library carries re-serializes to itself.
    EXPECT_EQ(lib->serialize(), *typelib);

    const auto version = findResource(all, QStringLiteral("VERSION"), QStringLiteral("1"));
    ASSERT_TRUE(version);
    auto v = VersionBlock::parse(*version);
    ASSERT_TRUE(v) << v.error().description.toStdString();
    EXPECT_EQ(std::tuple(v->major, v->minor, v->build, v->revision), std::tuple(2, 5, 0, 7));
    EXPECT_EQ(v->productVersionText, QStringLiteral("2.05.0007"));
    EXPECT_EQ(v->internalName, QStringLiteral("testctl"));
    EXPECT_TRUE(v->selfRegister);

    // The bitmap resource is the .bmp file without its 14-byte file header.
    const auto bitmap = findResource(all, QStringLiteral("BITMAP"), QStringLiteral("30000"));
    QFile bmp(envPath("TESTCTL_SOURCE") + QStringLiteral("/toolbox.bmp"));
    ASSERT_TRUE(bmp.open(QIODevice::ReadOnly));
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(*bitmap, bmp.readAll().mid(14));
    EXPECT_EQ(bitmap->left(12).toHex(), QByteArray("28000000" "10000000" "0f000000"));   // header size, 16 x 15
}

TEST(Packres, ListsALibrarysResourcesAndRefusesBadInput)
{
    Sandbox box;
    const QString packres = envPath("PACKRES");
    Outcome r = box.run(packres, {QStringLiteral("--list"), envPath("TESTCTL_LIB")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList lines = r.out.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 6) << r.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("TYPELIB 1 ")));
    EXPECT_EQ(lines.mid(1), (QStringList{QStringLiteral("CUSTOM _IID_WIDGET 20"), QStringLiteral("CUSTOM _SRCIID_WIDGET 20"),
                                         QStringLiteral("VERSION 1 588"), QStringLiteral("BITMAP 30000 760"), QString()}));

    const QString out = box.path("work") + QStringLiteral("/out.rsrc");
    const QString typelib = envPath("TESTCTL_SOURCE") + QStringLiteral("/typelib.json");
    auto pack = [&](const QStringList& items) { return box.run(packres, QStringList{QStringLiteral("-o"), out} + items); };

    r = pack({QStringLiteral("CUSTOM:_IID_X:guid:{00112233-4455-6677-8899-aabbccddeeff}")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    QFile blob(out);
    ASSERT_TRUE(blob.open(QIODevice::ReadOnly));
    auto all = unpackResources(blob.readAll());
    ASSERT_TRUE(all);
    EXPECT_EQ(findResource(*all, QStringLiteral("CUSTOM"), QStringLiteral("_IID_X")).value_or(QByteArray()).toHex(),
              QByteArray("10000000" "33221100" "5544" "7766" "8899aabbccddeeff"));

    r = pack({QStringLiteral("TYPELIB-1")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("does not read TYPE:NAME:SOURCE"))) << r.err.toStdString();
    r = pack({QStringLiteral("BITMAP:1:") + box.path("work") + QStringLiteral("/none.bmp")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("none.bmp"))) << r.err.toStdString();
    r = pack({QStringLiteral("BITMAP:1:") + typelib});
    EXPECT_TRUE(r.err.contains(QStringLiteral("not a BMP file"))) << r.err.toStdString();
    r = pack({QStringLiteral("TYPELIB:1:") + typelib, QStringLiteral("typelib:1:") + typelib});
    EXPECT_TRUE(r.err.contains(QStringLiteral("TYPELIB 1 is given twice"))) << r.err.toStdString();
    r = pack({QStringLiteral("VERSION:1:") + typelib});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("unknown key"))) << r.err.toStdString();
    r = pack({QStringLiteral("CUSTOM:_IID_X:guid:{nonsense}")});
    EXPECT_TRUE(r.err.contains(QStringLiteral("is not a GUID"))) << r.err.toStdString();
    r = box.run(packres, {});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("usage: packres")));
}
