// Balloons over the shell's icons as desktop notifications
// (org.freedesktop.Notifications on the session bus), with the XEmbed icon's
// own balloon as the fallback when no notification service answers.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <deque>
#include <optional>

class QDBusServiceWatcher;

namespace shell {

class Notifications : public QObject {
  public:
    // The one instance, a child of the application; made on first use.
    static Notifications &instance();

    // Shows a balloon for the icon `key` (window << 32 | id), replacing the
    // one still showing for it; an empty text only closes that one.
    void show(quint64 key, const QString &title, const QString &text, std::uint32_t infoFlags);
    // Closes the icon's balloon, if one is showing (none is before the first
    // show()).
    static void close(quint64 key);

  private:
    struct Request {
        quint64 key = 0;
        QString title, text;
        std::uint32_t infoFlags = 0;
    };

    explicit Notifications(QObject *parent);
    void next();
    void send(const Request &request);
    void done(const QString &failure);
    void fallback(const Request &request);

    QDBusServiceWatcher *watcher_ = nullptr;
    // Requests go to the service one at a time, in order, so that each
    // balloon knows the id of the one it replaces.
    std::deque<Request> queue_;
    bool busy_ = false;
    std::optional<bool> markup_; // whether the service reads markup; asked once per service
    QHash<quint64, uint> ids_;   // the notification showing for each icon
};

} // namespace shell
