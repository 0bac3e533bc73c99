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
    Error e;
    auto all = readResources(envPath("TESTCTL_LIB"), &e);
    EXPECT_TRUE(all.has_value()) << e.description.toStdString();
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
    ASSERT_TRUE(typelib.has_value());
    QString why;
    auto lib = TypeLibrary::parse(*typelib, &why);
    ASSERT_TRUE(lib.has_value()) << why.toStdString();
    EXPECT_EQ(lib->name, QStringLiteral("velmoratest"));
    EXPECT_EQ(lib->majorVersion, 2);
    EXPECT_EQ(lib->minorVersion, 5);
    EXPECT_EQ(lib->helpString, QStringLiteral("Velmora test widget 2.5"));
    EXPECT_TRUE(lib->defaultInterface.idOfName(QStringLiteral("describe")) == 0x60030005);
    EXPECT_EQ(lib->eventInterface.events.size(), 2u);
    // Stored in canonical form: what the library carries re-serializes to itself.
    EXPECT_EQ(lib->serialize(), *typelib);

    const auto version = findResource(all, QStringLiteral("VERSION"), QStringLiteral("1"));
    ASSERT_TRUE(version.has_value());
    auto v = VersionBlock::parse(*version, &why);
    ASSERT_TRUE(v.has_value()) << why.toStdString();
    EXPECT_EQ(std::tuple(v->major, v->minor, v->build, v->revision), std::tuple(2, 5, 0, 7));
    EXPECT_EQ(v->productVersionText, QStringLiteral("2.05.0007"));
    EXPECT_EQ(v->internalName, QStringLiteral("testctl"));
    EXPECT_TRUE(v->selfRegister);

    // The bitmap resource is the .bmp file without its 14-byte file header.
    const auto bitmap = findResource(all, QStringLiteral("BITMAP"), QStringLiteral("30000"));
    QFile bmp(envPath("TESTCTL_SOURCE") + QStringLiteral("/toolbox.bmp"));
    ASSERT_TRUE(bmp.open(QIODevice::ReadOnly));
    ASSERT_TRUE(bitmap.has_value());
    EXPECT_EQ(*bitmap, bmp.readAll().mid(14));
    EXPECT_EQ(bitmap->left(12).toHex(), QByteArray("28000000" "10000000" "0f000000"));   // header size, 16 x 15
}
