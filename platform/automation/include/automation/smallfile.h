// Reading a small file whole without ever waiting on it: registrations, the
// port mapping, the settings file and the tools' bags and pictures are all
// read through here.
#pragma once

#include <QByteArray>
#include <QString>
#include <sys/types.h>

#include "automation/result.h"

namespace automation {

// What a file larger than the cap gives.
enum class Oversize {
    Refuse,   // an error: no file of that kind is so large
    Truncate, // its first `cap` bytes; whatever follows is never looked at
};

// The bytes of the regular file at `path`, at most `cap` of them. The file is
// opened once, without blocking and without becoming a controlling terminal,
// and the open descriptor is checked: a FIFO, a device, a socket or a folder
// under that name fails at once, so that nothing swapped in after a check can
// hang the reader or pour endless bytes into it.
//
// Errors: FileNotFound when nothing is there (a symbolic link to a missing
// file says so), PermissionDenied, FileAccessError for the rest. The
// description gives the reason only; the caller names the file.
Result<QByteArray> readSmallFile(const QString &path, qint64 cap, Oversize oversize);

// Why a file of this type (a stat st_mode) is not a regular file, in the words
// the errors above use ("a FIFO, not a file"); empty for a regular file.
QString notRegularFile(mode_t mode);

} // namespace automation
