// Data a control library carries besides code: its type library, the
// interface-id records, a version block and a toolbox bitmap. They are packed
// at build time into the ELF section ".velmora_rsrc" of the library file (see
// velmora_add_resources in platform/automation/Resources.cmake), so a tool can
// read them from the file without loading or running the library, and the
// library itself reads them from memory.
//
// Section layout (little-endian): "VLMRSRC1", u32 count, then per resource
// u16 type length, type bytes (ASCII), u16 name length, name bytes, u32 data
// length, data bytes.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "automation/result.h"
#include "automation/typeinfo.h"

namespace automation {

struct Resource {
    QString type; // "TYPELIB", "CUSTOM", "VERSION", "BITMAP", ...
    QString name; // "1", "_IID_LUMOREL", "30000", ...
    QByteArray data;
};

QByteArray packResources(const std::vector<Resource> &resources);
Result<std::vector<Resource>> unpackResources(const QByteArray &section);

// Reads the resources from a library file on disk without loading it.
Result<std::vector<Resource>> readResources(const QString &libraryPath);
// The data of a resource, by type and name (case-insensitive).
Result<QByteArray> findResource(const std::vector<Resource> &all, const QString &type,
                                const QString &name);

// Unpacks resources linked into a module's memory between begin and end.
Result<std::vector<Resource>> resourcesAt(const char *begin, const char *end);

// The version block: file and product version, and its string table.
struct VersionBlock {
    int major = 0, minor = 0, build = 0, revision = 0; // file version a.b.c.d
    QString productVersionText;                        // "1.00.0033"
    QString description, productName, internalName;
    bool selfRegister = true; // the "OLESelfRegister" entry
    QByteArray serialize() const;
    static Result<VersionBlock> parse(const QByteArray &bytes);
};

} // namespace automation

// Bounds of the resource section of the module (library or program) being
// linked; velmora_add_resources defines them, hidden, in each module it is
// applied to, so every module sees its own.
extern "C" {
__attribute__((visibility("hidden"))) extern const char velmora_rsrc_begin[];
__attribute__((visibility("hidden"))) extern const char velmora_rsrc_end[];
}

namespace automation {

// The resources of the module this is compiled into, read from memory. Only
// modules built with velmora_add_resources may call it (others fail to link).
// Internal linkage keeps each module's copy bound to its own section.
static inline Result<std::vector<Resource>> ownResources() {
    return resourcesAt(velmora_rsrc_begin, velmora_rsrc_end);
}

// The type library the module carries (resource TYPELIB 1): a control
// library builds its classes' type information from it, so the dispatch ids
// it serves are the ones its type library declares.
static inline Result<TypeLibrary> ownTypeLibrary() {
    const std::vector<Resource> all = TRY(ownResources());
    return TypeLibrary::parse(
        TRY(findResource(all, QStringLiteral("TYPELIB"), QStringLiteral("1"))));
}

} // namespace automation
