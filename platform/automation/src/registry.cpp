#include "automation/registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#include <QHash>

#include <map>
#include <optional>

#include "automation/smallfile.h"
#include "logging.h"

namespace automation {

namespace {

QString clsidText(const QUuid &id) {
    return id.toString(QUuid::WithBraces).toUpper();
}

// One file per class, named by its class id.
QString entryFile(const QString &dir, const QUuid &clsid) {
    return dir + QLatin1Char('/') + clsid.toString(QUuid::WithoutBraces).toLower() +
           QStringLiteral(".class");
}

QString env(const char *name) {
    return QString::fromLocal8Bit(qgetenv(name));
}

registry::Scope g_defaultScope = registry::Scope::User;

// The folders looked up, the one that wins first.
QStringList lookupDirs() {
    const QString only = env("VELMORA_REGISTRY");
    if (!only.isEmpty())
        return {only};
    return {registry::userDir(), registry::systemDir()};
}

Error damaged(const QString &file, const QString &why) {
    return makeError(err::CannotCreateObject,
                     QStringLiteral("Damaged class registration %1: %2")
                         .arg(QDir::toNativeSeparators(file), why),
                     QStringLiteral("registry"));
}

// A class file is a few hundred bytes; anything much larger is not one.
constexpr qint64 MaxEntrySize = 64 * 1024;

// The bytes of a class file; a FIFO or a device in its place is refused at once.
Result<QByteArray> readEntryFile(const QString &file) {
    Result<QByteArray> bytes = readSmallFile(file, MaxEntrySize, Oversize::Refuse);
    if (!bytes)
        return damaged(file, bytes.error().description);
    return bytes;
}

// The ProgID a damaged entry still names, if a line of it reads so.
QString claimedProgId(const QByteArray &text) {
    for (const QByteArray &line : text.split('\n')) {
        const int eq = line.indexOf('=');
        if (eq > 0 && line.left(eq).trimmed() == "ProgID")
            return QString::fromUtf8(line.mid(eq + 1).trimmed());
    }
    return {};
}

// One class file: its registration, or why it is damaged.
struct Entry {
    QString file;
    Result<ClassRegistration> reg;
    QString claimedProgId; // of a damaged entry, when it can be told
    QString gaveWay;       // why a user's entry of this class gave way to this one
};

Entry readEntry(const QString &file) {
    Result<QByteArray> text = readEntryFile(file);
    if (!text)
        return Entry{file, text.error(), {}};
    Result<ClassRegistration> reg = ClassRegistration::fromText(*text);
    if (!reg)
        return Entry{file, damaged(file, reg.error().description), claimedProgId(*text)};
    reg->file = file;
    return Entry{file, std::move(reg), {}};
}

bool libraryMissing(const Entry &e) {
    return e.reg.ok() && !QFileInfo(e.reg->library).isFile();
}

// Why a well-formed entry cannot serve its class; empty when it can.
QString unusable(const Entry &e) {
    const ClassRegistration &r = *e.reg;
    if (QFileInfo(e.file).fileName() != QFileInfo(entryFile(QString(), r.clsid)).fileName())
        return QStringLiteral("its file is not named after its class id %1")
            .arg(clsidText(r.clsid));
    if (libraryMissing(e))
        return QStringLiteral("its library %1 is missing").arg(r.library);
    return {};
}

// A user's entry whose library file is gone (a build tree registered for the
// user, then deleted) gives way to the system's entry of the same class, so
// the installed controls stay in use; otherwise the user's entry wins.
// `read` reads the system's entry, only when it is needed.
template <class Read> void preferUsable(Entry &user, Read read) {
    if (!libraryMissing(user))
        return;
    Entry system = read();
    if (!system.reg.ok() || libraryMissing(system))
        return;
    system.gaveWay =
        QStringLiteral("%1 (this user's registration of %2) names the missing library %3; "
                       "the system's registration %4 is used")
            .arg(QDir::toNativeSeparators(user.file),
                 user.reg->progId,
                 QDir::toNativeSeparators(user.reg->library),
                 QDir::toNativeSeparators(system.file));
    user = std::move(system);
}

// The registration of an entry found by a look-up, saying when it stands in
// for a user's entry.
Result<ClassRegistration> found(const Entry &e) {
    if (!e.gaveWay.isEmpty())
        qCWarning(lcAutomation).noquote() << e.gaveWay;
    return e.reg;
}

// Every class file, user entries hiding system entries of the same name.
// Folders, FIFOs and dangling links named *.class are listed too: they are
// damaged entries, not absent ones.
std::vector<Entry> scanAll() {
    std::vector<Entry> scan;
    QHash<QString, std::size_t> seen;
    for (const QString &dir : lookupDirs()) {
        const QFileInfoList files = QDir(dir).entryInfoList(
            QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo &fi : files) {
            // The suffix compared here, not as a name filter: a filter is a
            // regular expression, and compiling one costs the program the
            // expression engine's memory for a check this simple.
            if (!fi.fileName().endsWith(QLatin1String(".class"), Qt::CaseInsensitive))
                continue;
            const auto earlier = seen.constFind(fi.fileName());
            if (earlier != seen.cend()) {
                preferUsable(scan[*earlier], [&] { return readEntry(fi.absoluteFilePath()); });
                continue;
            }
            seen.insert(fi.fileName(), scan.size());
            scan.push_back(readEntry(fi.absoluteFilePath()));
        }
    }
    return scan;
}

bool sameProgId(const QString &a, const QString &b) {
    return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

QByteArray ClassRegistration::toText() const {
    QString s;
    auto line = [&s](const char *key, const QString &value) {
        s += QLatin1String(key) + QLatin1Char('=') + value + QLatin1Char('\n');
    };
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

Result<ClassRegistration> ClassRegistration::fromText(const QByteArray &text) {
    auto bad = [](const QString &why) {
        return makeError(err::InvalidFileFormat, why, QStringLiteral("registry"));
    };
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

QString systemDir() {
    const QString e = env("VELMORA_SYSTEM_REGISTRY");
    return e.isEmpty() ? QStringLiteral(VELMORA_SYSTEM_REGISTRY_DIR) : e;
}

QString userDir() {
    QString base = env("XDG_DATA_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/velmora/registry");
}

QString writeDir(Scope scope) {
    const QString only = env("VELMORA_REGISTRY");
    if (!only.isEmpty())
        return only;
    return scope == Scope::System ? systemDir() : userDir();
}

void setDefaultScope(Scope scope) {
    g_defaultScope = scope;
}
Scope defaultScope() {
    return g_defaultScope;
}

Result<> add(const ClassRegistration &reg, Scope scope) {
    const QString dir = writeDir(scope);
    const QString source = QStringLiteral("registry");
    if (reg.clsid.isNull() || reg.library.isEmpty())
        return Result<>::fail(err::InvalidCall,
                              QStringLiteral("A registration needs a class id and a library"),
                              source);
    if (!QDir().mkpath(dir))
        return Result<>::fail(err::PathNotFound,
                              QStringLiteral("Cannot create the registry folder %1").arg(dir),
                              source);
    // Written aside and renamed into place: a reader sees the old or the new entry, never half of
    // one.
    QSaveFile f(entryFile(dir, reg.clsid));
    if (!f.open(QIODevice::WriteOnly) || f.write(reg.toText()) < 0 || !f.commit())
        return Result<>::fail(
            err::PermissionDenied,
            QStringLiteral("Cannot write %1: %2").arg(f.fileName(), f.errorString()),
            source);
    return {};
}

Result<> remove(const QUuid &clsid, Scope scope) {
    QFile f(entryFile(writeDir(scope), clsid));
    if (f.exists() && !f.remove())
        return Result<>::fail(
            err::PermissionDenied,
            QStringLiteral("Cannot remove %1: %2").arg(f.fileName(), f.errorString()),
            QStringLiteral("registry"));
    return {};
}

Result<ClassRegistration> findByClsid(const QUuid &clsid) {
    std::optional<Entry> first;
    for (const QString &dir : lookupDirs()) {
        const QString file = entryFile(dir, clsid);
        if (!QFileInfo(file).exists() && !QFileInfo(file).isSymLink())
            continue;
        if (first) {
            preferUsable(*first, [&] { return readEntry(file); });
            break;
        }
        first = readEntry(file);
    }
    if (first)
        return found(*first);
    return Result<ClassRegistration>::fail(
        err::CannotCreateObject,
        QStringLiteral("Can't create object: class %1 is not registered").arg(clsidText(clsid)),
        QStringLiteral("registry"));
}

Result<ClassRegistration> findByProgId(const QString &progId) {
    const std::vector<Entry> scan = scanAll();
    std::vector<const Entry *> claims;
    QStringList damagedClaims, otherDamage;
    for (const Entry &e : scan) {
        if (e.reg.ok() && sameProgId(e.reg->progId, progId))
            claims.push_back(&e);
        else if (!e.reg.ok() && sameProgId(e.claimedProgId, progId))
            damagedClaims << e.reg.error().description;
        else if (!e.reg.ok())
            otherDamage << e.reg.error().description;
    }
    if (claims.empty()) {
        // Every damaged entry is named: a damaged entry may be the class asked for.
        QString text = QStringLiteral("Can't create object: %1 is not registered").arg(progId);
        if (!damagedClaims.isEmpty()) {
            text = QStringLiteral("Can't create object %1: %2")
                       .arg(progId, damagedClaims.join(QStringLiteral("; ")));
        } else if (!otherDamage.isEmpty()) {
            QString list = otherDamage.join(QStringLiteral("; "));
            list[0] = list[0].toLower();
            text = QStringLiteral("Can't create object %1: it is not registered, and %2")
                       .arg(progId, list);
        }
        return Result<ClassRegistration>::fail(
            err::CannotCreateObject, text, QStringLiteral("registry"));
    }
    if (claims.size() == 1 && damagedClaims.isEmpty())
        return found(*claims.front());

    // Claimed more than once: the first usable entry wins (the first one when
    // none is usable; creating it then says what is wrong), the rest are reported.
    const Entry *chosen = nullptr;
    for (const Entry *c : claims)
        if (unusable(*c).isEmpty()) {
            chosen = c;
            break;
        }
    if (!chosen)
        chosen = claims.front();
    for (const Entry *c : claims) {
        if (c == chosen)
            continue;
        const QString why = unusable(*c);
        qCWarning(lcAutomation).noquote()
            << QStringLiteral("%1 is registered by %2; %3 claims it too%4")
                   .arg(progId,
                        QDir::toNativeSeparators(chosen->file),
                        QDir::toNativeSeparators(c->file),
                        why.isEmpty() ? QString() : QStringLiteral(", but ") + why);
    }
    for (const QString &d : damagedClaims)
        qCWarning(lcAutomation).noquote()
            << QStringLiteral("%1 is registered by %2; %3")
                   .arg(progId, QDir::toNativeSeparators(chosen->file), d);
    return found(*chosen);
}

Result<std::vector<ClassRegistration>> all() {
    std::vector<ClassRegistration> entries;
    for (const Entry &e : scanAll())
        entries.push_back(TRY(e.reg));
    return entries;
}

} // namespace registry

} // namespace automation
