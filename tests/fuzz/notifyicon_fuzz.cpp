// The shell's acceptance of arbitrary records: any operation number, any
// bytes. Only a record of 88 or 488 bytes whose first field says its size is
// an icon record; an add of an icon that exists, and a modify or delete of one
// that does not, are refused. Every icon added is deleted before the next input.
#include "common.h"

#include "shell/notifyicon.h"
#include "shell/records.h"

#include <QApplication>

#include <set>

using namespace shell;

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            "unix:path=/nonexistent/velmora-fuzz"); // no notifications, no tray hosts
    qunsetenv("VELMORA_SHELL_TRACE");
    static int argc = 1;
    static char name[] = "fuzz_notifyicon", *argv[] = {name, nullptr};
    new QApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz::Input in(data, size);
    std::set<std::pair<std::uint32_t, std::uint32_t>> shown; // (window, id) added and not deleted
    while (!in.empty()) {
        const std::uint32_t op = in.byte() % 4; // 3: no such operation
        const std::uint8_t kind = in.byte();
        QByteArray record =
            kind % 3 == 2 ? in.bytes(255)
                          : QByteArray(kind % 3 ? balloon_record::Size : icon_record::Size, '\0');
        if (kind % 3 != 2) {
            // A few of the icons: a small window and id space, so that
            // operations meet icons earlier inputs added.
            const std::uint32_t cbSize =
                kind & 0x80 ? in.value<std::uint32_t>() : std::uint32_t(record.size());
            for (auto [offset, v] : {std::pair(icon_record::CbSize, cbSize),
                                     {icon_record::Window, in.byte() % 4u},
                                     {icon_record::Id, in.byte() % 3u},
                                     {icon_record::Flags, in.byte()},
                                     {icon_record::CallbackMessage, in.value<std::uint32_t>()},
                                     {icon_record::Icon, in.value<std::uint32_t>()}})
                writeU32(record, offset, v);
            const QByteArray fill = in.bytes(record.size() - 24);
            record.replace(24, fill.size(), fill);
        }
        const bool isRecord =
            (record.size() == icon_record::Size || record.size() == balloon_record::Size) &&
            readU32(record, icon_record::CbSize) == std::uint32_t(record.size());
        const auto key = isRecord ? std::pair(readU32(record, icon_record::Window),
                                              readU32(record, icon_record::Id))
                                  : std::pair(0u, 0u);
        const bool exists = isRecord && shown.count(key),
                   accepted = notifyIcon(Operation(op), record);
        fuzz::check(accepted == (isRecord && (op == 0 ? !exists : op < 3 && exists)),
                    "the shell accepts exactly the designed records",
                    record.toHex());
        if (accepted && op != 1)
            op == 0 ? void(shown.insert(key)) : void(shown.erase(key));
    }
    for (const auto &[window, id] : shown) {
        QByteArray record(icon_record::Size, '\0');
        for (auto [offset, v] : {std::pair(icon_record::CbSize, std::uint32_t(icon_record::Size)),
                                 {icon_record::Window, window},
                                 {icon_record::Id, id}})
            writeU32(record, offset, v);
        fuzz::check(notifyIcon(Operation::Delete, record), "an icon added is deleted");
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
