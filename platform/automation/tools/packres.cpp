// packres: packs the resources of a control library into the blob that
// velmora_add_resources links into the library's ".velmora_rsrc" section, and
// lists the resources a library file carries.
//
//   packres -o <blob> TYPE:NAME:SOURCE ...
//   packres --list <library>
//
// SOURCE is one of
//   guid:{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}  an interface-id record of that GUID
//   iid:default:<typelib.json>                   the record of the type library's default interface
//   iid:event:<typelib.json>                     the record of its event interface
//   <file>                                       by TYPE: TYPELIB a type library in JSON (checked
//   and
//                                                stored in canonical form), VERSION a version
//                                                description in JSON, BITMAP a .bmp file (stored
//                                                without its file header, as a bitmap resource is),
//                                                anything else the file's bytes.
//
// An interface-id record is a 32-bit length (16) and the 16 GUID bytes in the
// Windows order: Data1, Data2 and Data3 little-endian, then the 8 bytes of Data4.
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTextStream>

#include "automation/littleendian.h"
#include "automation/resources.h"
#include "automation/typeinfo.h"

using namespace automation;

namespace {

QTextStream &errStream() {
    static QTextStream s(stderr);
    return s;
}

Error failure(const QString &text) {
    return makeError(err::InvalidCall, text, QStringLiteral("packres"));
}

Result<QByteArray> readFile(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("cannot read %1: %2").arg(path, f.errorString()));
    return f.readAll();
}

QByteArray iidRecord(const QUuid &id) {
    QByteArray b;
    bytes::putU32(b, 16);
    bytes::putU32(b, id.data1);
    bytes::putU16(b, id.data2);
    bytes::putU16(b, id.data3);
    for (unsigned char c : id.data4)
        b.append(char(c));
    return b;
}

Result<TypeLibrary> readTypeLibrary(const QString &path) {
    auto lib = TypeLibrary::parse(TRY(readFile(path)));
    if (!lib)
        return failure(QStringLiteral("%1: %2").arg(path, lib.error().description));
    return lib;
}

// {"fileVersion": "1.0.0.33", "versionText": "1.00.0033", "description": ...,
//  "productName": ..., "internalName": ..., "selfRegister": true}
Result<QByteArray> versionBlock(const QString &path) {
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(TRY(readFile(path)), &pe);
    if (!doc.isObject())
        return failure(QStringLiteral("%1: not a JSON object (%2)").arg(path, pe.errorString()));
    const QJsonObject o = doc.object();
    static const QStringList known{QStringLiteral("fileVersion"),
                                   QStringLiteral("versionText"),
                                   QStringLiteral("description"),
                                   QStringLiteral("productName"),
                                   QStringLiteral("internalName"),
                                   QStringLiteral("selfRegister")};
    for (const QString &key : o.keys())
        if (!known.contains(key))
            return failure(QStringLiteral("%1: unknown key \"%2\" (known: %3)")
                               .arg(path, key, known.join(QStringLiteral(", "))));
    VersionBlock v;
    const QStringList parts =
        o.value(QLatin1String("fileVersion")).toString().split(QLatin1Char('.'));
    int *fields[] = {&v.major, &v.minor, &v.build, &v.revision};
    bool ok = parts.size() == 4;
    for (int i = 0; ok && i < 4; ++i) {
        *fields[i] = parts[i].toInt(&ok);
        ok = ok && *fields[i] >= 0 && *fields[i] <= 0xFFFF;
    }
    if (!ok)
        return failure(
            QStringLiteral("%1: \"fileVersion\" must read a.b.c.d, each 0 to 65535").arg(path));
    v.productVersionText = o.value(QLatin1String("versionText")).toString();
    v.description = o.value(QLatin1String("description")).toString();
    v.productName = o.value(QLatin1String("productName")).toString();
    v.internalName = o.value(QLatin1String("internalName")).toString();
    v.selfRegister = o.value(QLatin1String("selfRegister")).toBool(true);
    return v.serialize();
}

Result<QByteArray> bitmap(const QString &path) {
    const QByteArray file = TRY(readFile(path));
    if (file.size() < 14 + 40 || !file.startsWith("BM"))
        return failure(QStringLiteral("%1: not a BMP file").arg(path));
    return file.mid(14);
}

Result<Resource> resourceOf(const QString &item) {
    const int c1 = item.indexOf(QLatin1Char(':'));
    const int c2 = c1 < 0 ? -1 : item.indexOf(QLatin1Char(':'), c1 + 1);
    if (c1 <= 0 || c2 <= c1 + 1 || c2 + 1 >= item.size())
        return failure(QStringLiteral("\"%1\" does not read TYPE:NAME:SOURCE").arg(item));
    Resource r{item.left(c1).toUpper(), item.mid(c1 + 1, c2 - c1 - 1), {}};
    const QString source = item.mid(c2 + 1);
    if (source.startsWith(QLatin1String("guid:"))) {
        const QUuid id = QUuid::fromString(source.mid(5));
        if (id.isNull())
            return failure(QStringLiteral("\"%1\" is not a GUID").arg(source.mid(5)));
        r.data = iidRecord(id);
    } else if (source.startsWith(QLatin1String("iid:default:"))) {
        r.data = iidRecord(TRY(readTypeLibrary(source.mid(12))).defaultInterface.iid);
    } else if (source.startsWith(QLatin1String("iid:event:"))) {
        r.data = iidRecord(TRY(readTypeLibrary(source.mid(10))).eventInterface.iid);
    } else if (r.type == QLatin1String("TYPELIB")) {
        r.data = TRY(readTypeLibrary(source)).serialize();
    } else if (r.type == QLatin1String("VERSION")) {
        r.data = TRY(versionBlock(source));
    } else if (r.type == QLatin1String("BITMAP")) {
        r.data = TRY(bitmap(source));
    } else {
        r.data = TRY(readFile(source));
    }
    if (r.type.toLatin1().size() > 0xFFFF || r.name.toLatin1().size() > 0xFFFF)
        return failure(QStringLiteral("resource type or name too long"));
    return r;
}

int list(const QString &library) {
    auto all = readResources(library);
    if (!all) {
        errStream() << "packres: " << all.error().description << Qt::endl;
        return 1;
    }
    QTextStream out(stdout);
    for (const Resource &r : *all)
        out << r.type << ' ' << r.name << ' ' << r.data.size() << Qt::endl;
    return 0;
}

// The resources named on the command line, each given once.
Result<std::vector<Resource>> collect(const QStringList &items) {
    std::vector<Resource> all;
    for (const QString &item : items) {
        Resource r = TRY(resourceOf(item));
        for (const Resource &other : all)
            if (other.type == r.type && other.name.compare(r.name, Qt::CaseInsensitive) == 0)
                return failure(QStringLiteral("%1 %2 is given twice").arg(r.type, r.name));
        all.push_back(std::move(r));
    }
    return all;
}

int usage() {
    errStream() << "usage: packres -o <blob> TYPE:NAME:SOURCE ...\n"
                   "       packres --list <library>"
                << Qt::endl;
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args[0] == QLatin1String("--list"))
        return list(args[1]);
    if (args.size() < 3 || args[0] != QLatin1String("-o"))
        return usage();
    const QString output = args[1];
    const Result<std::vector<Resource>> all = collect(args.mid(2));
    if (!all) {
        errStream() << "packres: " << all.error().description << Qt::endl;
        return 1;
    }
    QSaveFile out(output);
    if (!out.open(QIODevice::WriteOnly) || out.write(packResources(*all)) < 0 || !out.commit()) {
        errStream() << "packres: cannot write " << output << ": " << out.errorString() << Qt::endl;
        return 1;
    }
    return 0;
}
