// nastr.dat: the program's four settings, one number per CR LF line, in the
// process's working directory.
//
//   line 1  PortIndex   0 = COM1, 1 = COM2, 2 = COM3 (port number = value + 1)
//   line 2  AutoOn      1 = switch the amplifier on at start-up
//   line 3  AutoOff     1 = switch the amplifier off on "Выход"
//   line 4  SpeedIndex  0 = 300, 1 = 1200, 2 = 2400 bit/s; anything else: no speed
//
// Nothing is cached: every reader calls read() and gets the file as it is now.
// A line that is missing, unreadable, not a number or outside the 16-bit range
// reads as its default (0), so a damaged file never stops the program. Lines
// after the fourth are ignored.
#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "automation/result.h"

namespace velmora {

inline const QString SettingsFileName = QStringLiteral("nastr.dat");

struct Settings {
    // The numbers as read (a line may hold a fraction: "1.0").
    double portIndex = 0;
    double autoOn = 0;
    double autoOff = 0;
    double speedIndex = 0;

    // The automatic switches count only when the line equals 1.
    bool autoOnSet() const { return autoOn == 1.0; }
    bool autoOffSet() const { return autoOff == 1.0; }
    // The serial port number the settings ask for.
    double portNumber() const { return portIndex + 1; }
    // "300,N,8,1" ... for speed index 0, 1, 2; nothing for any other value.
    std::optional<QString> lineSettings() const;
};

// The line as a number: blanks and tabs around it dropped, then an optional
// sign, digits and an optional fraction, within the 16-bit range once rounded.
std::optional<double> parseLine(const QByteArray &line);

// Splits the file's bytes into lines (CR LF, LF or CR end a line) and reads the
// first four; whatever is missing or damaged takes its default.
Settings parseSettings(const QByteArray &bytes);

// Reads nastr.dat from the working directory afresh. A missing or unreadable
// file (or one that is not a plain file) gives the defaults.
Settings readSettings();

// A number as the file holds it: a blank in place of the sign when not
// negative, the digits, one trailing blank; CR LF. 1 -> " 1 \r\n", -1 -> "-1 \r\n".
QByteArray formatLine(std::int16_t value);
QByteArray formatSettings(const std::array<std::int16_t, 4> &lines);

// Replaces nastr.dat atomically with the four lines. A failure's description
// says why; the old file stays as it was.
automation::Result<> writeSettings(const std::array<std::int16_t, 4> &lines);

// Writes the defaults (0, 0, 0, 0) when the file does not exist at all; a file
// that exists, damaged or not, is left alone. Fails when it could not be
// written (the readers then use the same defaults anyway).
automation::Result<> ensureSettingsFile();

// Rounds half to even into a 16-bit integer (the range is checked on reading).
std::int16_t toInt16(double value);

} // namespace velmora
