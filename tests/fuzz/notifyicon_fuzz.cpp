// The shell's acceptance of arbitrary records: any operation number, any
// bytes. Only a record of 88 or 488 bytes whose first field says its size is
// an icon record; the icon table then behaves as the shell's does: an add of
// an icon that exists, and a modify or delete of one that does not, are
// refused. Every icon added is deleted again before the next input.
#include "common.h"

#include "shell/notifyicon.h"
#include "shell/records.h"

#include <QApplication>

#include <set>

using namespace shell;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // No desktop services: the notifications and tray hosts find no bus.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/velmora-fuzz");
    qunsetenv("VELMORA_SHELL_TRACE");
    static int argc = 1;
    static char name[] = "fuzz_notifyicon";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    std::set<std::pair<std::uint32_t, std::uint32_t>> shown;   // (window, id) added and not deleted
    while (!in.empty()) {
        const std::uint32_t op = in.byte() % 4;   // 3: no such operation
        const std::uint8_t kind = in.byte();
        QByteArray record;
        switch (kind % 3) {
        case 0: record = QByteArray(icon_record::Size, '\0'); break;
        case 1: record = QByteArray(balloon_record::Size, '\0'); break;
        default: record = in.bytes(255); break;
        }
        if (record.size() >= 24 && kind % 3 != 2) {
            // A few of the icons: a small window and id space, so that
            // operations meet icons earlier inputs added.
            writeU32(record, icon_record::CbSize, kind & 0x80 ? in.value<std::uint32_t>() : std::uint32_t(record.size()));
            writeU32(record, icon_record::Window, in.byte() % 4);
            writeU32(record, icon_record::Id, in.byte() % 3);
            writeU32(record, icon_record::Flags, in.byte());
            writeU32(record, icon_record::CallbackMessage, in.value<std::uint32_t>());
            writeU32(record, icon_record::Icon, in.value<std::uint32_t>());
            const QByteArray fill = in.bytes(record.size() - 24);
            record.replace(24, fill.size(), fill);
        }
        const bool isRecord = (record.size() == icon_record::Size || record.size() == balloon_record::Size)
                              && readU32(record, icon_record::CbSize) == std::uint32_t(record.size());
        const auto key = isRecord ? std::pair(readU32(record, icon_record::Window), readU32(record, icon_record::Id))
                                  : std::pair(0u, 0u);
        const bool exists = isRecord && shown.count(key);
        const bool accepted = notifyIcon(Operation(op), record);
        const bool expected = isRecord && ((op == 0 && !exists) || ((op == 1 || op == 2) && exists));
        fuzz::check(accepted == expected, "the shell accepts exactly the designed records", record.toHex());
        if (accepted && op == 0)
            shown.insert(key);
        if (accepted && op == 2)
            shown.erase(key);
    }
    for (const auto& [window, id] : shown) {
        QByteArray record(icon_record::Size, '\0');
        writeU32(record, icon_record::CbSize, icon_record::Size);
        writeU32(record, icon_record::Window, window);
        writeU32(record, icon_record::Id, id);
        fuzz::check(notifyIcon(Operation::Delete, record), "an icon added is deleted");
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
