#include "automation/registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#include <cstdlib>
#include <map>

namespace automation {

namespace {

QString clsidText(const QUuid& id) { return id.toString(QUuid::WithBraces).toUpper(); }

// One file per class, named by its class id.
QString entryFile(const QString& dir, const QUuid& clsid)
{
    return dir + QLatin1Char('/') + clsid.toString(QUuid::WithoutBraces).toLower() + QStringLiteral(".class");
}

QString env(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

registry::Scope g_defaultScope = registry::Scope::User;

// The folders looked up, the one that wins first.
QStringList lookupDirs()
{
    const QString only = env("VELMORA_REGISTRY");
    if (!only.isEmpty())
        return {only};
    return {registry::userDir(), registry::systemDir()};
}

Error damaged(const QString& file, const QString& why)
{
    return makeError(err::CannotCreateObject,
                     QStringLiteral("Damaged class registration %1: %2").arg(QDir::toNativeSeparators(file), why),
                     QStringLiteral("registry"));
}

std::optional<ClassRegistration> readEntry(const QString& file, Error* error)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = damaged(file, f.errorString());
        return std::nullopt;
    }
    QString why;
    auto reg = ClassRegistration::fromText(f.readAll(), &why);
    if (!reg && error)
        *error = damaged(file, why);
    return reg;
}

// Every readable entry, user entries hiding system entries of the same class;
// the damaged ones are listed apart.
struct Scan {
    std::vector<ClassRegistration> entries;
    std::vector<Error> damagedEntries;
};

Scan scanAll()
{
    Scan scan;
    std::map<QString, bool> seen;
    for (const QString& dir : lookupDirs()) {
        const QFileInfoList files = QDir(dir).entryInfoList({QStringLiteral("*.class")}, QDir::Files | QDir::Readable | QDir::Hidden, QDir::Name);
        for (const QFileInfo& fi : files) {
            if (seen[fi.fileName()])
                continue;
            seen[fi.fileName()] = true;
            Error e;
            if (auto reg = readEntry(fi.absoluteFilePath(), &e))
                scan.entries.push_back(*reg);
            else
                scan.damagedEntries.push_back(e);
        }
    }
    return scan;
}

} // namespace

QByteArray ClassRegistration::toText() const
{
    QString s;
    auto line = [&s](const char* key, const QString& value) { s += QLatin1String(key) + QLatin1Char('=') + value + QLatin1Char('\n'); };
    line("CLSID", clsidText(clsid));
    line("ProgID", progId);
    line("Name", name);
    line("Library", library);
    line("ThreadingModel", threadingModel);
    line("MiscStatus", QString::number(miscStatus));
    line("ToolboxBitmap", toolboxBitmap);
    line("TypeLib", typeLib.isNull() ? QString() : clsidText(typeLib));
    line("Version", typeLibVersion);
    line("Control", control ? QStringLiteral("1") : QStringLiteral("0"));
    return s.toUtf8();
}

std::optional<ClassRegistration> ClassRegistration::fromText(const QByteArray& text, QString* why)
{
    auto bad = [why](const QString& w) { if (why) *why = w; return std::optional<ClassRegistration>(); };
    ClassRegistration r;
    std::map<QString, QString> kv;
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return bad(QStringLiteral("line %1 is not 'Key=Value'").arg(i + 1));
        kv[line.left(eq).trimmed()] = line.mid(eq + 1).trimmed();
    }
    r.clsid = QUuid::fromString(kv[QStringLiteral("CLSID")]);
    if (r.clsid.isNull())
        return bad(QStringLiteral("no valid CLSID"));
    r.progId = kv[QStringLiteral("ProgID")];
    r.library = kv[QStringLiteral("Library")];
    if (r.library.isEmpty())
        return bad(QStringLiteral("no Library"));
    r.name = kv[QStringLiteral("Name")];
    if (kv.count(QStringLiteral("ThreadingModel")))
        r.threadingModel = kv[QStringLiteral("ThreadingModel")];
    bool ok = true;
    if (!kv[QStringLiteral("MiscStatus")].isEmpty())
        r.miscStatus = kv[QStringLiteral("MiscStatus")].toUInt(&ok);
    if (!ok)
        return bad(QStringLiteral("MiscStatus is not a number"));
    r.toolboxBitmap = kv[QStringLiteral("ToolboxBitmap")];
    r.typeLib = QUuid::fromString(kv[QStringLiteral("TypeLib")]);
    r.typeLibVersion = kv[QStringLiteral("Version")];
    r.control = kv[QStringLiteral("Control")] != QLatin1String("0");
    return r;
}

namespace registry {

QString systemDir()
{
    const QString e = env("VELMORA_SYSTEM_REGISTRY");
    return e.isEmpty() ? QStringLiteral("/usr/local/share/velmora/registry") : e;
}

QString userDir()
{
    QString base = env("XDG_DATA_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/velmora/registry");
}

QString writeDir(Scope scope)
{
    const QString only = env("VELMORA_REGISTRY");
    if (!only.isEmpty())
        return only;
    return scope == Scope::System ? systemDir() : userDir();
}

void setDefaultScope(Scope scope) { g_defaultScope = scope; }
Scope defaultScope() { return g_defaultScope; }

Result<> add(const ClassRegistration& reg, Scope scope)
{
    const QString dir = writeDir(scope);
    const QString source = QStringLiteral("registry");
    if (reg.clsid.isNull() || reg.library.isEmpty())
        return Result<>::fail(err::InvalidCall, QStringLiteral("A registration needs a class id and a library"), source);
    if (!QDir().mkpath(dir))
        return Result<>::fail(err::PathNotFound, QStringLiteral("Cannot create the registry folder %1").arg(dir), source);
    // Written aside and renamed into place: a reader sees the old or the new entry, never half of one.
    QSaveFile f(entryFile(dir, reg.clsid));
    if (!f.open(QIODevice::WriteOnly) || f.write(reg.toText()) < 0 || !f.commit())
        return Result<>::fail(err::PermissionDenied,
                            QStringLiteral("Cannot write %1: %2").arg(f.fileName(), f.errorString()), source);
    return {};
}

Result<> remove(const QUuid& clsid, Scope scope)
{
    QFile f(entryFile(writeDir(scope), clsid));
    if (f.exists() && !f.remove())
        return Result<>::fail(err::PermissionDenied,
                            QStringLiteral("Cannot remove %1: %2").arg(f.fileName(), f.errorString()),
                            QStringLiteral("registry"));
    return {};
}

std::optional<ClassRegistration> findByClsid(const QUuid& clsid, Error* error)
{
    for (const QString& dir : lookupDirs()) {
        const QString file = entryFile(dir, clsid);
        if (QFileInfo::exists(file))
            return readEntry(file, error);
    }
    if (error)
        *error = makeError(err::CannotCreateObject,
                           QStringLiteral("Can't create object: class %1 is not registered").arg(clsidText(clsid)),
                           QStringLiteral("registry"));
    return std::nullopt;
}

std::optional<ClassRegistration> findByProgId(const QString& progId, Error* error)
{
    Scan scan = scanAll();
    for (const ClassRegistration& reg : scan.entries)
        if (reg.progId.compare(progId, Qt::CaseInsensitive) == 0)
            return reg;
    if (error) {
        if (!scan.damagedEntries.empty()) {
            *error = scan.damagedEntries.front();
            error->description = QStringLiteral("Can't create object %1: it is not registered, and %2")
                                     .arg(progId, error->description.left(1).toLower() + error->description.mid(1));
        } else {
            *error = makeError(err::CannotCreateObject,
                               QStringLiteral("Can't create object: %1 is not registered").arg(progId),
                               QStringLiteral("registry"));
        }
    }
    return std::nullopt;
}

std::vector<ClassRegistration> all(Error* error)
{
    Scan scan = scanAll();
    if (error && !scan.damagedEntries.empty())
        *error = scan.damagedEntries.front();
    return scan.entries;
}

} // namespace registry

} // namespace automation
