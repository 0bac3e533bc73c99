// The class registry: which library implements which class, found by ProgID or
// class id. A system-wide folder (written when the package is installed) is
// overlaid by a per-user one; each class is one file, replaced atomically, so
// registrations running side by side lose nothing.
//
// Locations:
//   system: $VELMORA_SYSTEM_REGISTRY, else the install's local-state folder:
//           /var/lib/velmora/registry for the prefix /usr, <prefix>/var/lib/...
//           otherwise
//   user:   $XDG_DATA_HOME/velmora/registry (default ~/.local/share/...)
//   $VELMORA_REGISTRY, when set, is the only registry (tests, the build tree).
#pragma once

#include <QString>
#include <QStringList>
#include <QUuid>
#include <vector>

#include "automation/result.h"

namespace automation {

struct ClassRegistration {
    QUuid clsid;
    QString progId;
    QString name;    // the class name, e.g. "Lumorel"
    QString library; // absolute path of the library file
    QString threadingModel = QStringLiteral("Apartment");
    std::uint32_t miscStatus = 0;
    QString toolboxBitmap; // "path,resource id"
    QUuid typeLib;
    QString typeLibVersion; // "76.0"
    bool control = true;
    // The class file a look-up read it from (not part of the file's text);
    // empty for a registration made in memory.
    QString file;

    QByteArray toText() const;
    static Result<ClassRegistration> fromText(const QByteArray &text);
};

namespace registry {

enum class Scope { User, System };

QString systemDir();
QString userDir();
// Where writes go: $VELMORA_REGISTRY if set, else the user's or the system's folder.
QString writeDir(Scope scope);
// Scope used by DllRegisterServer / DllUnregisterServer in this process
// (tools/regsvr --system sets System); User by default.
void setDefaultScope(Scope scope);
Scope defaultScope();

Result<> add(const ClassRegistration &reg, Scope scope = defaultScope());
// Removing a class that is not registered succeeds.
Result<> remove(const QUuid &clsid, Scope scope = defaultScope());

// A user's entry whose library file is missing gives way to the system's entry
// of the same class when that one's library is present, with one warning of
// the category velmora.automation naming the missing file.
// Look-ups read the files afresh. A damaged entry (unreadable, not a regular
// file, not 'Key=Value' lines, a dangling link) is an error naming its file.
// When several entries claim one ProgID, the first usable one wins (its file
// named after its class id, its library present); the others are reported
// as warnings of the category velmora.automation, or in the error when none
// is usable.
Result<ClassRegistration> findByProgId(const QString &progId);
Result<ClassRegistration> findByClsid(const QUuid &clsid);
// Every entry; fails on the first damaged one.
Result<std::vector<ClassRegistration>> all();

} // namespace registry

} // namespace automation
