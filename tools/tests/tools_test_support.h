// Running the tools as a user would, in a sandbox of their own: a private
// registry, home and XDG folders, never the user's.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

inline void PrintTo(const QString &s, std::ostream *os) {
    *os << s.toStdString();
} // failures show text

namespace toolstest {

inline QString envPath(const char *name) {
    return QString::fromLocal8Bit(qgetenv(name));
}

struct Outcome {
    int code = -1;
    QString out, err;
};

struct Sandbox {
    Sandbox() {
        const std::pair<const char *, const char *> vars[] = {{"VELMORA_REGISTRY", "registry"},
                                                              {"VELMORA_SYSTEM_REGISTRY", "system"},
                                                              {"HOME", "home"},
                                                              {"XDG_DATA_HOME", "data"},
                                                              {"XDG_CONFIG_HOME", "config"},
                                                              {"XDG_RUNTIME_DIR", "runtime"},
                                                              {"", "work"}};
        for (const auto &[name, sub] : vars) {
            QDir().mkpath(path(sub));
            if (*name)
                env.insert(QLatin1String(name), path(sub));
        }
        QFile::setPermissions(path("runtime"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  QFileDevice::ExeOwner);
    }
    QString path(const char *sub) const { return dir.filePath(QLatin1String(sub)); }
    void write(const char *name, const QByteArray &bytes) const {
        QFile f(path("work") + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << name;
        ASSERT_EQ(f.write(bytes), bytes.size()) << name;
    }
    // Runs the program named by the environment variable `tool` in the work
    // folder; one still running after `waitMs` fails the test and is killed.
    Outcome run(const char *tool, const QStringList &args, const QByteArray &input = {},
                int waitMs = 120000) const {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(path("work"));
        p.start(envPath(tool), args);
        p.write(input);
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(waitMs)) << tool << " did not finish";
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
};

} // namespace toolstest
