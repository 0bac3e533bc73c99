// A control library's published type information against its golden table:
// the members of its default interface with their dispatch ids, parameters and
// results, the events of its event interface with theirs, and the values of
// its enumerations, read from the built library file through the runtime as an
// outside host reads them. Every row of either side is a case of its own, so a
// member added, dropped or changed in the type library fails by name.
//
// Built once per control (velmora_published_test): PUBLISHED_LIBRARY is the
// library file, PUBLISHED_TABLE its table. A row of the table reads
//   <kind> <name> <id> [<parameter> ...] [-> <result type>]
// kind: method, propget, propput or event; enumeration values as
//   enum <Enumeration>.<Member> <value>
// A parameter is Name:Type, in brackets when optional, with =default when it
// has one, and with a leading & when passed by reference (event parameters
// always are, and are written without it). Ids are decimal or 0x-hex.
#include <gtest/gtest.h>

#include <QFile>
#include <map>
#include <set>

#include "automation/resources.h"
#include "automation/typeinfo.h"

using namespace automation;

namespace {

using Rows = std::map<QString, QString>; // case name -> the row, normalised

QString idText(qint64 id) {
    if (id > -0x10000 && id < 0x10000)
        return QString::number(id);
    return QStringLiteral("0x") + QString::number(std::uint32_t(id), 16).toUpper();
}

QString paramText(const ParamInfo &p, bool event) {
    QString text = (p.byRef && !event ? QStringLiteral("&") : QString()) + p.name +
                   QLatin1Char(':') + varTypeName(p.type);
    if (!p.defaultValue.isEmpty())
        text += QLatin1Char('=') + p.defaultValue.describe().section(QLatin1Char(':'), 1);
    return p.optional ? QLatin1Char('[') + text + QLatin1Char(']') : text;
}

void add(Rows &rows, const QString &kind, const QString &name, qint64 id, QStringList rest) {
    rows[kind + QLatin1Char('_') + QString(name).replace(QLatin1Char('.'), QLatin1Char('_'))] =
        (QStringList{kind, name, idText(id)} + rest).join(QLatin1Char(' '));
}

Rows libraryRows(const TypeLibrary &lib) {
    Rows rows;
    for (const MemberInfo &m : lib.defaultInterface.members) {
        QStringList rest;
        for (const ParamInfo &p : m.params)
            rest << paramText(p, false);
        if (m.returnType != VarType::Empty)
            rest << QStringLiteral("->") << varTypeName(m.returnType);
        const QString kind = m.kind == InvokeKind::Method        ? QStringLiteral("method")
                             : m.kind == InvokeKind::PropertyGet ? QStringLiteral("propget")
                                                                 : QStringLiteral("propput");
        add(rows, kind, m.name, m.id, rest);
    }
    for (const EventInfo &e : lib.eventInterface.events) {
        QStringList rest;
        for (const ParamInfo &p : e.params)
            rest << paramText(p, true);
        add(rows, QStringLiteral("event"), e.name, e.id, rest);
    }
    for (const TypeLibrary::Enum &e : lib.enums)
        for (const auto &[name, value] : e.members)
            add(rows, QStringLiteral("enum"), e.name + QLatin1Char('.') + name, value, {});
    return rows;
}

Result<TypeLibrary> builtLibrary() {
    const std::vector<Resource> all = TRY(readResources(QStringLiteral(PUBLISHED_LIBRARY)));
    return TypeLibrary::parse(
        TRY(findResource(all, QStringLiteral("TYPELIB"), QStringLiteral("1"))));
}

// A row that does not read as one comes back as it was written, under its own
// line number, so that it fails.
Rows tableRows() {
    Rows rows;
    QFile f(QStringLiteral(PUBLISHED_TABLE));
    if (!f.open(QIODevice::ReadOnly))
        return {{QStringLiteral("table"), f.errorString()}};
    for (int line = 1; !f.atEnd(); ++line) {
        const QString text = QString::fromUtf8(f.readLine()).trimmed();
        if (text.isEmpty() || text.startsWith(QLatin1Char('#')))
            continue;
        const QStringList w = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        bool number = false;
        const qint64 id = w.value(2).toLongLong(&number, 0);
        if (!number)
            rows[QStringLiteral("line%1").arg(line)] = text;
        else
            add(rows, w[0], w[1], id, w.mid(3));
    }
    return rows;
}

const Rows &table() {
    static const Rows rows = tableRows();
    return rows;
}

const Result<TypeLibrary> &built() {
    static const Result<TypeLibrary> lib = builtLibrary();
    return lib;
}

const Rows &library() {
    static const Rows rows = built() ? libraryRows(*built()) : Rows{};
    return rows;
}

std::vector<std::string> caseNames() {
    std::set<std::string> names;
    for (const Rows *rows : {&table(), &library()})
        for (const auto &[name, row] : *rows)
            names.insert(name.toStdString());
    return {names.begin(), names.end()};
}

std::string rowOf(const Rows &rows, const std::string &name) {
    const auto it = rows.find(QString::fromStdString(name));
    return it == rows.end() ? "(none)" : it->second.toStdString();
}

TEST(PublishedLibrary, CarriesATypeLibrary) {
    EXPECT_TRUE(built().ok()) << built().error().description.toStdString();
}

class Published : public ::testing::TestWithParam<std::string> {};

TEST_P(Published, AsTheTableSays) {
    EXPECT_EQ(rowOf(library(), GetParam()), rowOf(table(), GetParam())) << "built, then the table";
}

INSTANTIATE_TEST_SUITE_P(Rows, Published, ::testing::ValuesIn(caseNames()),
                         [](const ::testing::TestParamInfo<std::string> &info) {
                             return info.param;
                         });

} // namespace
