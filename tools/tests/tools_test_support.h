// Running regsvr and ctlhost as a user would, in a sandbox of their own: a
// private registry, home and XDG folders, never the user's.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace toolstest {

inline QString envPath(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

struct Outcome {
    int code = -1;
    QString out;
    QString err;
};

class Sandbox {
public:
    Sandbox()
    {
        for (const char* d : {"registry", "system", "home", "data", "config", "cache", "runtime", "work"})
            QDir(dir.path()).mkpath(QLatin1String(d));
        QFile::setPermissions(path("runtime"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    QString path(const char* sub) const { return dir.filePath(QLatin1String(sub)); }
    QString registry() const { return path("registry"); }

    // The environment of a tool run: the registry override set unless the
    // test wants the user/system pair.
    QProcessEnvironment environment(bool privateRegistry = true) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), path("home"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path("data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path("config"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), path("cache"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("runtime"));
        env.insert(QStringLiteral("VELMORA_SYSTEM_REGISTRY"), path("system"));
        if (privateRegistry)
            env.insert(QStringLiteral("VELMORA_REGISTRY"), registry());
        else
            env.remove(QStringLiteral("VELMORA_REGISTRY"));
        for (const auto& [k, v] : extra)
            env.insert(k, v);
        return env;
    }

    Outcome run(const QString& program, const QStringList& args, const QByteArray& input = {}, bool privateRegistry = true) const
    {
        QProcess p;
        p.setProcessEnvironment(environment(privateRegistry));
        p.setWorkingDirectory(path("work"));
        p.start(program, args);
        Outcome r;
        if (!p.waitForStarted(30000)) {
            ADD_FAILURE() << "cannot start " << program.toStdString();
            return r;
        }
        p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(120000)) {
            ADD_FAILURE() << program.toStdString() << " did not finish";
            p.kill();
            p.waitForFinished();
        }
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    Outcome regsvr(const QStringList& args, bool privateRegistry = true) const
    {
        return run(envPath("REGSVR"), args, {}, privateRegistry);
    }
    Outcome ctlhost(const QByteArray& script, const QStringList& options = {}) const
    {
        return run(envPath("CTLHOST"), options, script);
    }

    QTemporaryDir dir;
    std::vector<std::pair<QString, QString>> extra;   // further variables for the tools
};

} // namespace toolstest
