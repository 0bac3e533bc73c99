// The resource container: the bytes of the ".velmora_rsrc" section, packed at
// build time and unpacked from a file or from a module's memory.
#include "automation/resources.h"

#include <cstring>
#include <optional>

#include "automation/littleendian.h"

namespace automation {

using bytes::getLE;
using bytes::putU16;
using bytes::putU32;

namespace {

constexpr char Magic[] = "VLMRSRC1";
constexpr int MagicSize = 8;

// Sequential reader that refuses to run past the end.
class Reader {
  public:
    explicit Reader(const QByteArray &b) : b_(b) {}
    const char *take(qsizetype n) {
        if (n < 0 || pos_ + n > b_.size())
            return nullptr;
        const char *p = b_.constData() + pos_;
        pos_ += n;
        return p;
    }
    std::optional<std::uint64_t> number(int size) {
        const char *p = take(size);
        return p ? std::optional<std::uint64_t>(getLE(p, size)) : std::nullopt;
    }
    qsizetype left() const { return b_.size() - pos_; }

  private:
    const QByteArray &b_;
    qsizetype pos_ = 0;
};

Error damaged(const QString &why) {
    return makeError(err::InvalidFileFormat, why, QStringLiteral("resources"));
}

} // namespace

QByteArray packResources(const std::vector<Resource> &resources) {
    QByteArray out(Magic, MagicSize);
    putU32(out, std::uint32_t(resources.size()));
    for (const Resource &r : resources) {
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

Result<std::vector<Resource>> unpackResources(const QByteArray &section) {
    Reader in(section);
    const char *magic = in.take(MagicSize);
    if (!magic || std::memcmp(magic, Magic, MagicSize) != 0)
        return damaged(QStringLiteral("the resource data does not start with \"VLMRSRC1\""));
    const auto count = in.number(4);
    if (!count)
        return damaged(QStringLiteral("the resource data ends before its count"));
    std::vector<Resource> all;
    for (std::uint64_t i = 0; i < *count; ++i) {
        const char *type = nullptr, *name = nullptr, *data = nullptr;
        std::optional<std::uint64_t> typeLen, nameLen, dataLen;
        if (!(typeLen = in.number(2)) || !(type = in.take(qsizetype(*typeLen))) ||
            !(nameLen = in.number(2)) || !(name = in.take(qsizetype(*nameLen))) ||
            !(dataLen = in.number(4)) || !(data = in.take(qsizetype(*dataLen))))
            return damaged(QStringLiteral("the resource data is cut short in entry %1 of %2")
                               .arg(i + 1)
                               .arg(*count));
        all.push_back(Resource{QString::fromLatin1(type, qsizetype(*typeLen)),
                               QString::fromLatin1(name, qsizetype(*nameLen)),
                               QByteArray(data, qsizetype(*dataLen))});
    }
    if (in.left() != 0)
        return damaged(QStringLiteral("%1 stray bytes follow the last resource").arg(in.left()));
    return all;
}

Result<QByteArray> findResource(const std::vector<Resource> &all, const QString &type,
                                const QString &name) {
    for (const Resource &r : all)
        if (r.type.compare(type, Qt::CaseInsensitive) == 0 &&
            r.name.compare(name, Qt::CaseInsensitive) == 0)
            return r.data;
    return Result<QByteArray>::fail(err::ResourceNotFound,
                                    QStringLiteral("no %1 resource named %2").arg(type, name),
                                    QStringLiteral("resources"));
}

Result<std::vector<Resource>> resourcesAt(const char *begin, const char *end) {
    if (!begin || !end || end < begin)
        return damaged(QStringLiteral("no resources are linked into this module"));
    return unpackResources(QByteArray::fromRawData(begin, end - begin));
}

} // namespace automation
