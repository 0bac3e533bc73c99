// The notification area: icons added, changed and removed through icon
// records, shown in the desktop's tray, their activations sent back to the
// owner window as mouse messages.
#pragma once

#include "windowing/handles.h"

#include <QByteArray>

#include <cstdint>

#include "automation/result.h"

namespace shell {

class EmbeddedIcon;

// The operations of notifyIcon, with the values the controls pass.
enum class Operation : std::uint32_t { Add = 0, Modify = 1, Delete = 2 };

// The icon record, 88 bytes, every integer 32-bit little-endian.
namespace icon_record {
constexpr int Size = 88;
constexpr int CbSize = 0;           // 88
constexpr int Window = 4;           // owner window handle
constexpr int Id = 8;               // the owner's number for the icon
constexpr int Flags = 12;           // which of the next three fields hold something
constexpr int CallbackMessage = 16; // the message the owner gets activations as
constexpr int Icon = 20;            // icon handle
constexpr int Tip = 24;             // ANSI text, NUL, blanks
constexpr int TipWidth = 64;
constexpr std::uint32_t MessageFlag = 1, IconFlag = 2, TipFlag = 4;
} // namespace icon_record

// The balloon record, 488 bytes: the icon record's first six fields, a wider
// tip, and a balloon (text, title, icon flags) to show over the icon.
namespace balloon_record {
constexpr int Size = 488;
constexpr int Tip = 24; // ANSI text, NUL, blanks
constexpr int TipWidth = 128;
constexpr int State = 152;
constexpr int StateMask = 156;
constexpr int Info = 160; // the balloon's text: ANSI, NUL, blanks
constexpr int InfoWidth = 256;
constexpr int Timeout = 416;
constexpr int InfoTitle = 420; // the balloon's title: ANSI, NUL, blanks
constexpr int InfoTitleWidth = 64;
constexpr int InfoFlags = 484; // the balloon's icon: 1 information, 2 warning, 3 error
constexpr std::uint32_t InfoFlag = 0x10;
} // namespace balloon_record

// Adds, modifies or deletes the icon the record names by (window, id), as the
// shell does: adding an icon that exists, or modifying or deleting one that
// does not, is refused (false), as is a record that is not an icon record.
// Add and Modify take the fields the record's flags name. The icon shows in
// the desktop's tray; an activation there is posted to the owner window as
// mouse messages whose x is the message number (513 left down, 514 left up,
// 515 left double click, 516/517 right down/up, 519/520 middle down/up), and
// only when the icon has a callback message.
//
// With VELMORA_SHELL_TRACE=<file> each record received, refused ones too, is
// appended to the file as one line: the operation and the bytes in hex.
//
// Where a StatusNotifierItem host is registered with the session bus's
// org.kde.StatusNotifierWatcher, each icon is an item on the bus; otherwise an
// XEmbed icon. Icons move between the two as hosts come and go (TrayHosts).
// An item's primary activation is posted as the whole double click (513, 514,
// 515, 514); another within the double-click interval is dropped.
//
// A balloon record takes the same operations; with InfoFlag its balloon shows
// over the icon (which must exist after the operation, or nothing shows) as a
// desktop notification of org.freedesktop.Notifications on the session bus:
// summary the title, body the text, icon "dialog-information",
// "dialog-warning" or "dialog-error" for info flags 1, 2, 3 and none for any
// other value, & < > escaped when the service reads markup. A balloon replaces
// the one still showing for its icon; an empty text closes that one and shows
// nothing; deleting the icon closes it too. With no notification service the
// balloon shows over the XEmbed icon (trayIcon()), with neither nothing shows.
// The service is watched: one started later is used from then on.
//
// Call on the thread of the QApplication; without one every record is refused.
// The answer is the shell call's: whether the record was taken. The reason of
// a refusal is notifyIconResult()'s error.
bool notifyIcon(Operation op, const QByteArray &record);
automation::Result<> notifyIconResult(Operation op, const QByteArray &record);

// The XEmbed tray icon shown for (window, id), null when there is none or the
// icon shows as a StatusNotifierItem (a balloon with no notification service
// falls back to it).
EmbeddedIcon *trayIcon(windowing::WindowHandle window, std::uint32_t id);

} // namespace shell
