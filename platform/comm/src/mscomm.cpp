// The serial-port control: port number, line settings, open/close, the RTS
// and DTR outputs, carrier detect and output, on the backend the port maps to.
#include "mscomm.h"

#include <QVarLengthArray>
#include <algorithm>

#include "automation/resources.h"
#include "comm/errors.h"
#include "comm_dispids.h" // comm::dispid, generated from src/typelib.json
#include "log.h"
#include "portmap.h"
#include "trace.h"

Q_LOGGING_CATEGORY(lcComm, "velmora.comm", QtWarningMsg)

namespace comm {

using namespace automation;

const QUuid MSComm::Clsid{QStringLiteral("{c1fb3f52-c4dd-45dc-885a-e5863a9a239d}")};
const QString MSComm::ProgId = QStringLiteral("MSCommLib.MSComm");

// The members and their dispatch ids are the type library's, carried in this
// library's file (src/typelib.json).
static TypeInfo readInfo() {
    return ownTypeLibrary().value_or(TypeLibrary{}).defaultInterface;
}

const TypeInfo &MSComm::info() {
    static const TypeInfo info = readInfo();
    return info;
}

MSComm::MSComm() = default;

MSComm::~MSComm() {
    closePort();
}

Result<> MSComm::fail(std::int32_t number, const QString &description) const {
    return Result<>::fail(number, description, ProgId);
}

Result<> MSComm::onPort(Result<> r) const {
    if (r)
        return r;
    return fail(r.error().number,
                QStringLiteral("COM%1: %2").arg(port_).arg(r.error().description));
}

Result<> MSComm::invokeChecked(const MemberInfo &member, std::vector<Variant> &args) {
    if (member.kind != InvokeKind::PropertyPut)
        return property(member.id);
    const Variant &value = args.at(0);
    switch (member.id) {
    case dispid::DTREnable:
    case dispid::RTSEnable:
        setLine(member.id == dispid::RTSEnable, value.boolean());
        return {};
    case dispid::CommPort:
        return putPort(value.i2());
    case dispid::PortOpen:
        if (value.boolean())
            return openPort();
        closePort();
        return {};
    case dispid::Settings:
        return putSettings(value.bstr());
    case dispid::Output:
        return output(value);
    }
    return fail(automation::err::NoSuchMember, standardDescription(automation::err::NoSuchMember));
}

Result<> MSComm::property(DispId id) {
    switch (id) {
    case dispid::CDHolding:
        return Variant::fromBool(carrier());
    case dispid::CommPort:
        return Variant(port_);
    case dispid::DTREnable:
        return Variant::fromBool(dtr_);
    case dispid::RTSEnable:
        return Variant::fromBool(rts_);
    case dispid::PortOpen:
        return Variant::fromBool(line_ != nullptr);
    case dispid::Settings:
        return Variant(QStringLiteral("%1,N,8,1").arg(baud_));
    }
    return fail(automation::err::NoSuchMember, standardDescription(automation::err::NoSuchMember));
}

Result<> MSComm::putPort(std::int16_t port) {
    if (line_)
        return fail(
            err::PortOpen,
            QStringLiteral("COM%1 is open: close it before changing the port number").arg(port_));
    if (port < 1 || port > MaxPort)
        return fail(err::InvalidPort,
                    QStringLiteral("Invalid port number %1 (1 to %2)").arg(port).arg(MaxPort));
    port_ = port;
    return {};
}

Result<> MSComm::openPort() {
    if (line_)
        return {}; // already open: nothing changes
    const PortMap map = TRY(inPort(PortMap::load()));
    const LineTarget *target = map.find(port_);
    if (!target)
        return fail(err::InvalidPort,
                    QStringLiteral("COM%1 is not mapped to a device (set COM%1 in %2)")
                        .arg(port_)
                        .arg(map.file));
    if (map.trace.isEmpty())
        trace_.reset();
    else if (!trace_ || trace_->path() != map.trace)
        trace_ = LineTrace::open(map.trace); // none: the port works untraced
    std::unique_ptr<LineBackend> line = target->line();
    if (trace_)
        line = traced(std::move(line), trace_);
    TRY(onPort(line->open(baud_, rts_, dtr_)));
    line_ = std::move(line);
    return {};
}

void MSComm::closePort() {
    if (!line_)
        return;
    line_->close();
    line_.reset();
}

void MSComm::setLine(bool rts, bool on) {
    (rts ? rts_ : dtr_) = on;
    if (!line_)
        return; // kept, and applied when the port opens
    if (rts)
        line_->setRts(on);
    else
        line_->setDtr(on);
}

bool MSComm::carrier() {
    return line_ && line_->carrier();
}

// "<speed>,N,8,1" with blanks (space, tab, line and page breaks) around any
// field, the parity letter in either case; 0 for anything else.
static int parseSettings(const QString &text) {
    // Read as Latin-1: a character beyond it becomes '?', which no field
    // accepts; QByteArray::trimmed() drops exactly those blanks.
    const QList<QByteArray> fields = text.toLatin1().split(',');
    if (fields.size() != 4)
        return 0;
    const QByteArray speed = fields[0].trimmed(), parity = fields[1].trimmed();
    if (speed.isEmpty() ||
        !std::all_of(speed.begin(), speed.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        (parity != "N" && parity != "n") || fields[2].trimmed() != "8" ||
        fields[3].trimmed() != "1")
        return 0;
    const int baud = speed.toInt();
    return std::find(std::begin(LineSpeeds), std::end(LineSpeeds), baud) != std::end(LineSpeeds)
               ? baud
               : 0;
}

Result<> MSComm::putSettings(const QString &text) {
    const int baud = parseSettings(text);
    if (!baud)
        return fail(
            err::InvalidPropertyValue,
            QStringLiteral("Invalid property value: Settings \"%1\" (expected \"<speed>,N,8,1\", "
                           "speed 110 to 115200 bit/s, e.g. \"300,N,8,1\")")
                .arg(text));
    if (line_)
        TRY(onPort(line_->setSpeed(baud)));
    baud_ = baud;
    return {};
}

Result<> MSComm::output(const Variant &value) {
    if (!line_)
        return fail(err::PortNotOpen, QStringLiteral("COM%1 is not open").arg(port_));
    // A string is read where it is; another value is converted to one first.
    QString converted;
    if (value.type() != VarType::BStr) {
        auto text = value.type() == VarType::Dispatch
                        ? Result<QString>::fail(automation::err::TypeMismatch)
                        : value.toBStr();
        if (!text)
            return fail(automation::err::TypeMismatch,
                        standardDescription(automation::err::TypeMismatch));
        converted = std::move(*text);
    }
    const QString &text = value.type() == VarType::BStr ? value.bstr() : converted;
    // Each character is one byte on the line; the usual output (a character
    // or a few) is built on the stack.
    QVarLengthArray<char, 64> bytes(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c > 0xFF)
            return fail(
                err::InvalidPropertyValue,
                QStringLiteral("Invalid property value: Output holds the character U+%1, above 255")
                    .arg(c, 4, 16, QLatin1Char('0')));
        bytes[i] = char(c);
    }
    return onPort(line_->write(QByteArrayView(bytes.constData(), bytes.size())));
}

} // namespace comm
