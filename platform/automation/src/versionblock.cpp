// The version block, in the layout version readers know: a VS_VERSIONINFO
// node holding the fixed file information, a string table for language
// 0x0409 and code page 1200 (UTF-16), and the translation list. Every node is
// u16 length, u16 value length, u16 type (1 text, 0 binary), a UTF-16 key
// with its NUL, padding to 4 bytes, the value, padding, then the children.

#include "automation/resources.h"

#include "automation/littleendian.h"

namespace automation {

using bytes::getLE;
using bytes::putU16;
using bytes::putU32;

namespace {

constexpr std::uint32_t FixedSignature = 0xFEEF04BD;
constexpr int FixedInfoSize = 52;
const QString StringTableKey = QStringLiteral("040904B0");

void pad4(QByteArray &b) {
    while (b.size() % 4)
        b.append('\0');
}

void putText(QByteArray &out, const QString &text) {
    for (QChar c : text)
        putU16(out, c.unicode());
    putU16(out, 0);
}

// Builds one node; `value` is raw bytes, valueLength as the node records it
// (bytes for binary values, UTF-16 units for text).
QByteArray node(const QString &key, int type, const QByteArray &value, int valueLength,
                const QByteArray &children) {
    QByteArray b(6, '\0');
    putText(b, key);
    pad4(b);
    b += value;
    if (!children.isEmpty()) {
        pad4(b);
        b += children;
    }
    const auto len = std::uint16_t(b.size());
    bytes::setLE(b, 0, len, 2);
    bytes::setLE(b, 2, std::uint16_t(valueLength), 2);
    bytes::setLE(b, 4, std::uint16_t(type), 2);
    return b;
}

QByteArray stringNode(const QString &key, const QString &value) {
    QByteArray v;
    putText(v, value);
    return node(key, 1, v, int(value.size()) + 1, {});
}

// Appends nodes with the padding that keeps every node on a 4-byte boundary.
void appendNode(QByteArray &list, const QByteArray &n) {
    pad4(list);
    list += n;
}

struct Node {
    QString key;
    int type = 0;
    QByteArray value; // the value's bytes (text values with their NUL)
    QByteArray children;
};

Error damaged(const QString &why) {
    return makeError(err::InvalidFileFormat, why, QStringLiteral("version block"));
}

// Reads the node at the start of `bytes`; `used` receives its length.
Result<Node> readNode(const QByteArray &bytes, int *used) {
    if (bytes.size() < 6)
        return damaged(QStringLiteral("a version node is cut short"));
    const char *p = bytes.constData();
    const int length = int(getLE(p, 2));
    const int valueLength = int(getLE(p + 2, 2));
    Node n;
    n.type = int(getLE(p + 4, 2));
    if (length < 6 || length > bytes.size())
        return damaged(
            QStringLiteral("a version node claims %1 bytes of %2").arg(length).arg(bytes.size()));
    int pos = 6;
    for (;;) {
        if (pos + 2 > length)
            return damaged(QStringLiteral("a version node key has no end"));
        const auto c = char16_t(getLE(p + pos, 2));
        pos += 2;
        if (c == 0)
            break;
        n.key += QChar(c);
    }
    pos = (pos + 3) & ~3;
    const int valueBytes = n.type == 1 ? valueLength * 2 : valueLength;
    if (pos + valueBytes > length)
        return damaged(
            QStringLiteral("the value of version node \"%1\" runs past its end").arg(n.key));
    n.value = bytes.mid(pos, valueBytes);
    pos = (pos + valueBytes + 3) & ~3;
    if (pos < length)
        n.children = bytes.mid(pos, length - pos);
    *used = length;
    return n;
}

Result<std::vector<Node>> readNodes(const QByteArray &list) {
    std::vector<Node> out;
    int pos = 0;
    while (pos < list.size()) {
        int used = 0;
        out.push_back(TRY(readNode(list.mid(pos), &used)));
        pos = (pos + used + 3) & ~3;
    }
    return out;
}

QString textValue(const QByteArray &v) {
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

QByteArray VersionBlock::serialize() const {
    const std::uint32_t ms = (std::uint32_t(major) << 16) | std::uint32_t(minor & 0xFFFF);
    const std::uint32_t ls = (std::uint32_t(build) << 16) | std::uint32_t(revision & 0xFFFF);
    QByteArray fixed;
    for (std::uint32_t v : {FixedSignature,
                            0x00010000u,
                            ms,
                            ls,
                            ms,
                            ls,
                            0x3Fu, // file flags mask
                            0u,    // file flags
                            0x4u,  // VOS__WINDOWS32
                            0x2u,  // VFT_DLL
                            0u,
                            0u,
                            0u})
        putU32(fixed, v);

    const QString text =
        productVersionText.isEmpty()
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

Result<VersionBlock> VersionBlock::parse(const QByteArray &bytes) {
    int used = 0;
    const Node root = TRY(readNode(bytes, &used));
    if (root.key != QLatin1String("VS_VERSION_INFO"))
        return damaged(QStringLiteral("not a version block (key \"%1\")").arg(root.key));
    if (root.value.size() != FixedInfoSize ||
        std::uint32_t(getLE(root.value.constData(), 4)) != FixedSignature)
        return damaged(QStringLiteral("the version block has no fixed file information"));
    VersionBlock v;
    const char *f = root.value.constData();
    const auto ms = std::uint32_t(getLE(f + 8, 4));
    const auto ls = std::uint32_t(getLE(f + 12, 4));
    v.major = int(ms >> 16);
    v.minor = int(ms & 0xFFFF);
    v.build = int(ls >> 16);
    v.revision = int(ls & 0xFFFF);
    v.selfRegister = false;

    for (const Node &info : TRY(readNodes(root.children))) {
        if (info.key != QLatin1String("StringFileInfo"))
            continue;
        for (const Node &table : TRY(readNodes(info.children))) {
            for (const Node &s : TRY(readNodes(table.children))) {
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
