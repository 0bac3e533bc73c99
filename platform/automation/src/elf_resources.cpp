// Reading the resource section from a library file on disk. Only the ELF
// section header table and the section name table are consulted; nothing is
// mapped or run.
#include "automation/resources.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

#include "automation/littleendian.h"

namespace automation {

using bytes::getLE;

namespace {

constexpr char SectionName[] = ".velmora_rsrc";

struct ElfFile {
    QFile file;
    qint64 size = 0;

    bool readAt(quint64 offset, quint64 length, QByteArray *out) {
        if (offset > quint64(size) || length > quint64(size) - offset)
            return false;
        if (!file.seek(qint64(offset)))
            return false;
        *out = file.read(qint64(length));
        return quint64(out->size()) == length;
    }
};

struct SectionHeader {
    std::uint32_t name = 0;
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t link = 0;
};

SectionHeader decodeSection(const char *p) {
    SectionHeader s;
    s.name = std::uint32_t(getLE(p + 0, 4));
    s.type = std::uint32_t(getLE(p + 4, 4));
    s.offset = getLE(p + 24, 8);
    s.size = getLE(p + 32, 8);
    s.link = std::uint32_t(getLE(p + 40, 4));
    return s;
}

constexpr std::uint32_t ShtNobits = 8;
constexpr std::uint16_t ShnXindex = 0xFFFF;
constexpr int ElfHeaderSize = 64;
constexpr int SectionHeaderSize = 64;

} // namespace

Result<std::vector<Resource>> readResources(const QString &libraryPath) {
    const QString source = QStringLiteral("resources");
    const auto fail = [&](std::int32_t number, const QString &text) {
        return makeError(number, text, source);
    };
    const auto badFile = [&](const QString &what) {
        return fail(err::InvalidFileFormat, QStringLiteral("%1: %2").arg(libraryPath, what));
    };

    ElfFile elf;
    elf.file.setFileName(libraryPath);
    const QFileInfo info(libraryPath);
    if (!info.exists())
        return fail(err::FileNotFound, QStringLiteral("%1: no such file").arg(libraryPath));
    if (info.isDir())
        return badFile(QStringLiteral("is a directory, not a library file"));
    if (!elf.file.open(QIODevice::ReadOnly))
        return fail(err::PermissionDenied,
                    QStringLiteral("%1: cannot read: %2").arg(libraryPath, elf.file.errorString()));
    elf.size = elf.file.size();

    QByteArray header;
    if (!elf.readAt(0, 4, &header) || header != QByteArray("\x7f"
                                                           "ELF",
                                                           4))
        return badFile(QStringLiteral("not an ELF file"));
    if (!elf.readAt(0, ElfHeaderSize, &header))
        return badFile(QStringLiteral("the ELF header is cut short"));
    const char *h = header.constData();
    if (h[4] != 2)
        return badFile(QStringLiteral("a 32-bit ELF file; only 64-bit libraries are read"));
    if (h[5] != 1)
        return badFile(
            QStringLiteral("a big-endian ELF file; only little-endian libraries are read"));

    const std::uint64_t shoff = getLE(h + 0x28, 8);
    const std::uint16_t shentsize = std::uint16_t(getLE(h + 0x3A, 2));
    std::uint64_t shnum = getLE(h + 0x3C, 2);
    std::uint32_t shstrndx = std::uint32_t(getLE(h + 0x3E, 2));
    if (shoff == 0)
        return badFile(QStringLiteral("the file has no section header table"));
    if (shentsize != SectionHeaderSize)
        return badFile(QStringLiteral("unexpected section header size %1").arg(shentsize));

    // Section 0 holds the real count and name-table index when they do not
    // fit the ELF header's 16-bit fields.
    QByteArray first;
    if (!elf.readAt(shoff, SectionHeaderSize, &first))
        return badFile(QStringLiteral("the section header table lies outside the file"));
    const SectionHeader zero = decodeSection(first.constData());
    if (shnum == 0)
        shnum = zero.size;
    if (shstrndx == ShnXindex)
        shstrndx = zero.link;
    if (shnum == 0 || shnum > quint64(elf.size) / SectionHeaderSize)
        return badFile(QStringLiteral("implausible section count %1").arg(shnum));

    QByteArray table;
    if (!elf.readAt(shoff, shnum * SectionHeaderSize, &table))
        return badFile(QStringLiteral("the section header table lies outside the file"));
    if (shstrndx >= shnum)
        return badFile(
            QStringLiteral("the section name table index %1 is out of range").arg(shstrndx));
    const SectionHeader strtab = decodeSection(table.constData() + shstrndx * SectionHeaderSize);
    QByteArray names;
    if (strtab.type == ShtNobits || !elf.readAt(strtab.offset, strtab.size, &names))
        return badFile(QStringLiteral("the section name table lies outside the file"));

    for (std::uint64_t i = 1; i < shnum; ++i) {
        const SectionHeader s = decodeSection(table.constData() + i * SectionHeaderSize);
        if (s.name >= quint64(names.size()))
            continue;
        const char *name = names.constData() + s.name;
        const qsizetype room = names.size() - qsizetype(s.name);
        if (qsizetype(qstrnlen(name, size_t(room))) == room || std::strcmp(name, SectionName) != 0)
            continue;
        QByteArray data;
        if (s.type == ShtNobits || !elf.readAt(s.offset, s.size, &data))
            return badFile(QStringLiteral("the section %1 lies outside the file")
                               .arg(QLatin1String(SectionName)));
        auto all = unpackResources(data);
        if (!all)
            return badFile(QStringLiteral("damaged section %1: %2")
                               .arg(QLatin1String(SectionName), all.error().description));
        return all;
    }
    return badFile(QStringLiteral("the file carries no resources (no %1 section)")
                       .arg(QLatin1String(SectionName)));
}

} // namespace automation
