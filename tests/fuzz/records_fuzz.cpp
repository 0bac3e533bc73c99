// The two records as the controls build them, from arbitrary tip, text and
// title: the icon record (88 bytes) and the balloon record (488 bytes); and
// any bytes decoded from the code page encode back to themselves ('?' for the
// bytes it leaves undefined).
#include "common.h"

#include "shell/notifyicon.h"
#include "shell/records.h"

using namespace shell;

namespace {

// Writes the field and checks it: the text's bytes cut so that the NUL fits,
// the NUL, blanks; nothing outside it changed; it reads back up to its NUL.
void writeAndCheck(QByteArray &record, int offset, int width, QStringView text) {
    const QByteArray before = record, encoded = encodeAnsi(text).left(width - 1);
    writeTextField(record, offset, width, text);
    const QByteArray field = (encoded + '\0').leftJustified(width, ' ');
    fuzz::check(record.size() == before.size() && record.mid(offset, width) == field,
                "the field: text, NUL, blanks",
                record.toHex());
    fuzz::check(record.left(offset) + record.mid(offset + width) ==
                    before.left(offset) + before.mid(offset + width),
                "bytes outside the field unchanged");
    const qsizetype nul = encoded.indexOf('\0');
    fuzz::check(readTextField(record, offset, width) ==
                    decodeAnsi(encoded.left(nul < 0 ? encoded.size() : nul)),
                "the field reads back up to its NUL");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz::Input in(data, size);
    const QString tip = in.text(200), info = in.text(300), title = in.text(100);
    const std::uint32_t handle = in.value<std::uint32_t>();

    // The icon record, as the tray control fills it.
    QByteArray icon(icon_record::Size, '\0');
    writeU32(icon, icon_record::CbSize, icon_record::Size);
    writeU32(icon, icon_record::Window, handle);
    writeU32(icon, icon_record::Id, 1);
    writeU32(icon,
             icon_record::Flags,
             icon_record::MessageFlag | icon_record::IconFlag | icon_record::TipFlag);
    writeAndCheck(icon, icon_record::Tip, icon_record::TipWidth, tip);
    fuzz::check(readU32(icon, icon_record::Window) == handle, "the window survives the tip");

    // The balloon record, as the balloon control fills it: text, then title.
    QByteArray balloon(balloon_record::Size, '\0');
    writeU32(balloon, icon_record::CbSize, balloon_record::Size);
    writeU32(balloon, icon_record::Window, handle);
    writeU32(balloon, balloon_record::InfoFlags, handle);
    writeAndCheck(balloon, balloon_record::Info, balloon_record::InfoWidth, info);
    writeAndCheck(balloon, balloon_record::InfoTitle, balloon_record::InfoTitleWidth, title);
    fuzz::check(readU32(balloon, balloon_record::InfoFlags) == handle,
                "the icon flags survive the title");
    fuzz::check(readU32(balloon, balloon_record::Timeout) == 0, "the timeout stays zero");

    // The code page both ways.
    const QByteArray raw = in.rest();
    const QString decoded = decodeAnsi(raw);
    const QByteArray encoded = encodeAnsi(decoded);
    fuzz::check(decoded.size() == raw.size() && encoded.size() == raw.size(),
                "one character per byte and back",
                raw.toHex());
    for (qsizetype i = 0; i < raw.size(); ++i)
        fuzz::check(encoded[i] == (decoded[i] == QChar::ReplacementCharacter ? '?' : raw[i]),
                    "a byte comes back",
                    raw.toHex());
    fuzz::check(encodeAnsi(tip).size() <= tip.size(), "never more bytes than characters");
    return 0;
}
