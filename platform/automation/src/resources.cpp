// Packing and reading the data a control library carries besides code, and the
// version block's binary form.
#include "automation/resources.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace automation {

namespace {

constexpr char Magic[] = "VLMRSRC1";
constexpr int MagicSize = 8;
const QString Source = QStringLiteral("resources");
constexpr std::int32_t InvalidFileFormat = 321;

// Little-endian writers and readers over byte arrays.
void putU16(QByteArray& out, std::uint16_t v)
{
    out.append(char(v & 0xFF));
    out.append(char(v >> 8));
}

void putU32(QByteArray& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

std::uint64_t getLE(const char* p, int bytes)
{
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

// Sequential reader that refuses to run past the end.
class Reader {
public:
    explicit Reader(const QByteArray& b) : b_(b) {}
    bool take(int n, const char** p)
    {
        if (n < 0 || pos_ + n > b_.size())
            return false;
        *p = b_.constData() + pos_;
        pos_ += n;
        return true;
    }
    bool u16(std::uint16_t* v)
    {
        const char* p;
        if (!take(2, &p))
            return false;
        *v = std::uint16_t(getLE(p, 2));
        return true;
    }
    bool u32(std::uint32_t* v)
    {
        const char* p;
        if (!take(4, &p))
            return false;
        *v = std::uint32_t(getLE(p, 4));
        return true;
    }
    qsizetype left() const { return b_.size() - pos_; }

private:
    const QByteArray& b_;
    qsizetype pos_ = 0;
};

bool setWhy(QString* why, const QString& text)
{
    if (why)
        *why = text;
    return false;
}

} // namespace

QByteArray packResources(const std::vector<Resource>& resources)
{
    QByteArray out(Magic, MagicSize);
    putU32(out, std::uint32_t(resources.size()));
    for (const Resource& r : resources) {
        const QByteArray type = r.type.toLatin1();
        const QByteArray name = r.name.toLatin1();
        putU16(out, std::uint16_t(type.size()));
        out += type;
        putU16(out, std::uint16_t(name.size()));
        out += name;
        putU32(out, std::uint32_t(r.data.size()));
        out += r.data;
    }
    return out;
}

std::optional<std::vector<Resource>> unpackResources(const QByteArray& section, QString* why)
{
    Reader in(section);
    const char* p;
    if (!in.take(MagicSize, &p) || std::memcmp(p, Magic, MagicSize) != 0) {
        setWhy(why, QStringLiteral("the resource data does not start with \"VLMRSRC1\""));
        return std::nullopt;
    }
    std::uint32_t count = 0;
    if (!in.u32(&count)) {
        setWhy(why, QStringLiteral("the resource data ends before its count"));
        return std::nullopt;
    }
    std::vector<Resource> all;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint16_t typeLen = 0, nameLen = 0;
        std::uint32_t dataLen = 0;
        const char *type = nullptr, *name = nullptr, *data = nullptr;
        if (!in.u16(&typeLen) || !in.take(typeLen, &type) || !in.u16(&nameLen) || !in.take(nameLen, &name)
            || !in.u32(&dataLen) || dataLen > std::uint32_t(in.left()) || !in.take(int(dataLen), &data)) {
            setWhy(why, QStringLiteral("the resource data is cut short in entry %1 of %2").arg(i + 1).arg(count));
            return std::nullopt;
        }
        all.push_back(Resource{QString::fromLatin1(type, typeLen), QString::fromLatin1(name, nameLen),
                               QByteArray(data, qsizetype(dataLen))});
    }
    if (in.left() != 0) {
        setWhy(why, QStringLiteral("%1 stray bytes follow the last resource").arg(in.left()));
        return std::nullopt;
    }
    return all;
}

std::optional<QByteArray> findResource(const std::vector<Resource>& all, const QString& type, const QString& name)
{
    for (const Resource& r : all)
        if (r.type.compare(type, Qt::CaseInsensitive) == 0 && r.name.compare(name, Qt::CaseInsensitive) == 0)
            return r.data;
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// Reading the section from an ELF file. Only the section header table and the
// section name table are consulted; nothing is mapped or run.

namespace {

constexpr char SectionName[] = ".velmora_rsrc";

struct ElfFile {
    QFile file;
    qint64 size = 0;

    bool readAt(quint64 offset, quint64 length, QByteArray* out)
    {
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

SectionHeader decodeSection(const char* p)
{
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

std::optional<std::vector<Resource>> readResources(const QString& libraryPath, Error* error)
{
    auto fail = [&](std::int32_t number, const QString& text) {
        if (error)
            *error = makeError(number, text, Source);
        return std::optional<std::vector<Resource>>();
    };
    const auto badFile = [&](const QString& what) {
        return fail(InvalidFileFormat, QStringLiteral("%1: %2").arg(libraryPath, what));
    };

    ElfFile elf;
    elf.file.setFileName(libraryPath);
    const QFileInfo info(libraryPath);
    if (!info.exists())
        return fail(err::FileNotFound, QStringLiteral("%1: no such file").arg(libraryPath));
    if (info.isDir())
        return badFile(QStringLiteral("is a directory, not a library file"));
    if (!elf.file.open(QIODevice::ReadOnly))
        return fail(err::PermissionDenied, QStringLiteral("%1: cannot read: %2").arg(libraryPath, elf.file.errorString()));
    elf.size = elf.file.size();

    QByteArray header;
    if (!elf.readAt(0, 4, &header) || header != QByteArray("\x7f" "ELF", 4))
        return badFile(QStringLiteral("not an ELF file"));
    if (!elf.readAt(0, ElfHeaderSize, &header))
        return badFile(QStringLiteral("the ELF header is cut short"));
    const char* h = header.constData();
    if (h[4] != 2)
        return badFile(QStringLiteral("a 32-bit ELF file; only 64-bit libraries are read"));
    if (h[5] != 1)
        return badFile(QStringLiteral("a big-endian ELF file; only little-endian libraries are read"));

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
        return badFile(QStringLiteral("the section name table index %1 is out of range").arg(shstrndx));
    const SectionHeader strtab = decodeSection(table.constData() + shstrndx * SectionHeaderSize);
    QByteArray names;
    if (strtab.type == ShtNobits || !elf.readAt(strtab.offset, strtab.size, &names))
        return badFile(QStringLiteral("the section name table lies outside the file"));

    for (std::uint64_t i = 1; i < shnum; ++i) {
        const SectionHeader s = decodeSection(table.constData() + i * SectionHeaderSize);
        if (s.name >= quint64(names.size()))
            continue;
        const char* name = names.constData() + s.name;
        const qsizetype room = names.size() - qsizetype(s.name);
        if (qsizetype(qstrnlen(name, size_t(room))) == room || std::strcmp(name, SectionName) != 0)
            continue;
        QByteArray data;
        if (s.type == ShtNobits || !elf.readAt(s.offset, s.size, &data))
            return badFile(QStringLiteral("the section %1 lies outside the file").arg(QLatin1String(SectionName)));
        QString why;
        auto all = unpackResources(data, &why);
        if (!all)
            return badFile(QStringLiteral("damaged section %1: %2").arg(QLatin1String(SectionName), why));
        return all;
    }
    return badFile(QStringLiteral("the file carries no resources (no %1 section)").arg(QLatin1String(SectionName)));
}

std::optional<std::vector<Resource>> resourcesAt(const char* begin, const char* end, QString* why)
{
    if (!begin || !end || end < begin) {
        setWhy(why, QStringLiteral("no resources are linked into this module"));
        return std::nullopt;
    }
    return unpackResources(QByteArray::fromRawData(begin, end - begin), why);
}

// ---------------------------------------------------------------------------
// The version block, in the layout version readers know: a VS_VERSIONINFO
// node holding the fixed file information, a string table for language
// 0x0409 and code page 1200 (UTF-16), and the translation list. Every node is
// u16 length, u16 value length, u16 type (1 text, 0 binary), a UTF-16 key
// with its NUL, padding to 4 bytes, the value, padding, then the children.

namespace {

constexpr std::uint32_t FixedSignature = 0xFEEF04BD;
constexpr int FixedInfoSize = 52;
const QString StringTableKey = QStringLiteral("040904B0");

void pad4(QByteArray& b)
{
    while (b.size() % 4)
        b.append('\0');
}

void putText(QByteArray& out, const QString& text)
{
    for (QChar c : text)
        putU16(out, c.unicode());
    putU16(out, 0);
}

// Builds one node; `value` is raw bytes, valueLength as the node records it
// (bytes for binary values, UTF-16 units for text).
QByteArray node(const QString& key, int type, const QByteArray& value, int valueLength, const QByteArray& children)
{
    QByteArray b(6, '\0');
    putText(b, key);
    pad4(b);
    b += value;
    if (!children.isEmpty()) {
        pad4(b);
        b += children;
    }
    const auto len = std::uint16_t(b.size());
    b[0] = char(len & 0xFF);
    b[1] = char(len >> 8);
    b[2] = char(valueLength & 0xFF);
    b[3] = char((valueLength >> 8) & 0xFF);
    b[4] = char(type);
    b[5] = 0;
    return b;
}

QByteArray stringNode(const QString& key, const QString& value)
{
    QByteArray v;
    putText(v, value);
    return node(key, 1, v, int(value.size()) + 1, {});
}

// Appends nodes with the padding that keeps every node on a 4-byte boundary.
void appendNode(QByteArray& list, const QByteArray& n)
{
    pad4(list);
    list += n;
}

struct Node {
    QString key;
    int type = 0;
    QByteArray value;   // the value's bytes (text values with their NUL)
    QByteArray children;
};

// Reads the node at the start of `bytes`; `used` receives its length.
std::optional<Node> readNode(const QByteArray& bytes, int* used, QString* why)
{
    if (bytes.size() < 6) {
        setWhy(why, QStringLiteral("a version node is cut short"));
        return std::nullopt;
    }
    const char* p = bytes.constData();
    const int length = int(getLE(p, 2));
    const int valueLength = int(getLE(p + 2, 2));
    Node n;
    n.type = int(getLE(p + 4, 2));
    if (length < 6 || length > bytes.size()) {
        setWhy(why, QStringLiteral("a version node claims %1 bytes of %2").arg(length).arg(bytes.size()));
        return std::nullopt;
    }
    int pos = 6;
    for (;;) {
        if (pos + 2 > length) {
            setWhy(why, QStringLiteral("a version node key has no end"));
            return std::nullopt;
        }
        const auto c = char16_t(getLE(p + pos, 2));
        pos += 2;
        if (c == 0)
            break;
        n.key += QChar(c);
    }
    pos = (pos + 3) & ~3;
    const int valueBytes = n.type == 1 ? valueLength * 2 : valueLength;
    if (pos + valueBytes > length) {
        setWhy(why, QStringLiteral("the value of version node \"%1\" runs past its end").arg(n.key));
        return std::nullopt;
    }
    n.value = bytes.mid(pos, valueBytes);
    pos = (pos + valueBytes + 3) & ~3;
    if (pos < length)
        n.children = bytes.mid(pos, length - pos);
    *used = length;
    return n;
}

std::optional<std::vector<Node>> readNodes(const QByteArray& list, QString* why)
{
    std::vector<Node> out;
    int pos = 0;
    while (pos < list.size()) {
        int used = 0;
        auto n = readNode(list.mid(pos), &used, why);
        if (!n)
            return std::nullopt;
        out.push_back(*n);
        pos = (pos + used + 3) & ~3;
    }
    return out;
}

QString textValue(const QByteArray& v)
{
    QString s;
    for (int i = 0; i + 1 < v.size(); i += 2) {
        const auto c = char16_t(getLE(v.constData() + i, 2));
        if (c == 0)
            break;
        s += QChar(c);
    }
    return s;
}

} // namespace

QByteArray VersionBlock::serialize() const
{
    const std::uint32_t ms = (std::uint32_t(major) << 16) | std::uint32_t(minor & 0xFFFF);
    const std::uint32_t ls = (std::uint32_t(build) << 16) | std::uint32_t(revision & 0xFFFF);
    QByteArray fixed;
    for (std::uint32_t v : {FixedSignature, 0x00010000u, ms, ls, ms, ls,
                            0x3Fu,    // file flags mask
                            0u,       // file flags
                            0x4u,     // VOS__WINDOWS32
                            0x2u,     // VFT_DLL
                            0u, 0u, 0u})
        putU32(fixed, v);

    const QString text = productVersionText.isEmpty()
        ? QStringLiteral("%1.%2.%3.%4").arg(major).arg(minor).arg(build).arg(revision)
        : productVersionText;
    QByteArray strings;
    appendNode(strings, stringNode(QStringLiteral("FileDescription"), description));
    appendNode(strings, stringNode(QStringLiteral("FileVersion"), text));
    appendNode(strings, stringNode(QStringLiteral("InternalName"), internalName));
    appendNode(strings, stringNode(QStringLiteral("ProductName"), productName));
    appendNode(strings, stringNode(QStringLiteral("ProductVersion"), text));
    if (selfRegister)
        appendNode(strings, stringNode(QStringLiteral("OLESelfRegister"), QString()));
    const QByteArray table = node(StringTableKey, 1, {}, 0, strings);
    const QByteArray stringInfo = node(QStringLiteral("StringFileInfo"), 1, {}, 0, table);

    QByteArray translation;
    putU16(translation, 0x0409);
    putU16(translation, 0x04B0);
    const QByteArray var = node(QStringLiteral("Translation"), 0, translation, 4, {});
    const QByteArray varInfo = node(QStringLiteral("VarFileInfo"), 1, {}, 0, var);

    QByteArray children;
    appendNode(children, stringInfo);
    appendNode(children, varInfo);
    return node(QStringLiteral("VS_VERSION_INFO"), 0, fixed, FixedInfoSize, children);
}

std::optional<VersionBlock> VersionBlock::parse(const QByteArray& bytes, QString* why)
{
    int used = 0;
    auto root = readNode(bytes, &used, why);
    if (!root)
        return std::nullopt;
    if (root->key != QLatin1String("VS_VERSION_INFO")) {
        setWhy(why, QStringLiteral("not a version block (key \"%1\")").arg(root->key));
        return std::nullopt;
    }
    if (root->value.size() != FixedInfoSize || std::uint32_t(getLE(root->value.constData(), 4)) != FixedSignature) {
        setWhy(why, QStringLiteral("the version block has no fixed file information"));
        return std::nullopt;
    }
    VersionBlock v;
    const char* f = root->value.constData();
    const auto ms = std::uint32_t(getLE(f + 8, 4));
    const auto ls = std::uint32_t(getLE(f + 12, 4));
    v.major = int(ms >> 16);
    v.minor = int(ms & 0xFFFF);
    v.build = int(ls >> 16);
    v.revision = int(ls & 0xFFFF);
    v.selfRegister = false;

    auto children = readNodes(root->children, why);
    if (!children)
        return std::nullopt;
    for (const Node& info : *children) {
        if (info.key != QLatin1String("StringFileInfo"))
            continue;
        auto tables = readNodes(info.children, why);
        if (!tables)
            return std::nullopt;
        for (const Node& table : *tables) {
            auto strings = readNodes(table.children, why);
            if (!strings)
                return std::nullopt;
            for (const Node& s : *strings) {
                const QString value = textValue(s.value);
                if (s.key == QLatin1String("FileDescription"))
                    v.description = value;
                else if (s.key == QLatin1String("ProductName"))
                    v.productName = value;
                else if (s.key == QLatin1String("InternalName"))
                    v.internalName = value;
                else if (s.key == QLatin1String("ProductVersion"))
                    v.productVersionText = value;
                else if (s.key == QLatin1String("FileVersion") && v.productVersionText.isEmpty())
                    v.productVersionText = value;
                else if (s.key == QLatin1String("OLESelfRegister"))
                    v.selfRegister = true;
            }
        }
    }
    return v;
}

} // namespace automation
