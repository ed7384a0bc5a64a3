#include "replyproperties.h"

#include "configframe.h"
#include "devicename.h"
#include "framechecksum.h"
#include "frameconstants.h"
#include "framelayout.h"
#include "receivefilter.h"
#include "replyframe.h"

namespace {

const QString SourceIp = QStringLiteral("10.231.0.2");
constexpr int MaxFormTextLength = 64; // far beyond every field; longer texts only cost time

[[noreturn]] void fail()
{
    __builtin_trap();
}

// The byte layout written out on its own, not taken from the library: the module's bytes 10-45 and 48 as a
// configuration frame must carry them back.
void checkSentBack(const QByteArray &reply, const QByteArray &sent)
{
    if (sent.size() != FrameSize || sent.left(MacSize) != reply.left(MacSize)
        || sent.mid(MarkerOffset, MarkerSize) != QByteArray(ConfigMarker, MarkerSize))
        fail();
    if (sent.mid(10, 10) != reply.mid(10, 10)) // the name
        fail();
    if (byteAt(sent, 20) != (byteAt(reply, 20) & 0x01) || byteAt(sent, 21) != (byteAt(reply, 21) & 0x03))
        fail();
    if (sent.mid(22, 23) != reply.mid(22, 23)) // addresses, ports, baud rate
        fail();
    if (byteAt(sent, 45) != (byteAt(reply, 45) & 0x3F))
        fail();
    if (byteAt(sent, 46) != 0 || byteAt(sent, 47) != 0 || byteAt(sent, 49) != 0)
        fail();
    if (byteAt(sent, 48) != (byteAt(reply, 48) & 0x01))
        fail();
    if (!hasValidFrameChecksum(sent) || classifyPlainFrame(sent) != DatagramKind::ConfigFrame)
        fail();
}

bool isHidden(ushort u)
{
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x061C || u == 0x200E || u == 0x200F
        || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069) || u == 0x2028 || u == 0x2029;
}

} // namespace

void checkShownName(const QByteArray &nameField, const QString &shown)
{
    for (const QChar c : shown) {
        if (isHidden(c.unicode()))
            fail();
    }
    if (shown.isEmpty() != (nameField.isEmpty() || nameField.at(0) == '\0'))
        fail();
}

CheckedReply checkReply(const QByteArray &plainReply)
{
    CheckedReply checked;
    DeviceRecord &record = checked.record;
    record = decodeDeviceReply(plainReply, SourceIp);
    if (record.nameField != plainReply.mid(NameOffset, NameSize) || record.reportedLineFormat != byteAt(plainReply, 45))
        fail();
    checkShownName(record.nameField, record.deviceName);

    // Whatever a module reports, a simulated module can report again, byte for byte in its settings.
    DeviceRecord again = decodeDeviceReply(layoutDeviceReply(record), SourceIp);
    DeviceRecord expected = record;
    expected.reportedLineFormat = record.reportedLineFormat & 0x3F;
    if (again != expected)
        fail();

    if (findInvalidConfigField(record) != ConfigField::None)
        return checked; // the form refuses these values too, so nothing would be sent
    checked.sentPlain = layoutConfigFrame(record, plainReply.mid(FillerOffset, FillerSize));
    checkSentBack(plainReply, checked.sentPlain);
    return checked;
}

void checkFormText(const QByteArray &input)
{
    const QByteArray bytes = input.left(MaxFormTextLength);
    const QString text = QString::fromUtf8(bytes);
    DeviceRecord record;
    record.macAddress = QStringLiteral("001A2B3C4D5E");
    record.subnetMask = record.gateway = record.localIp = record.remoteIp = text;
    record.localPort = record.remotePort = record.baudRate = text;
    record.randomPort = bytes.size() % 2 == 1;
    record.deviceName = text;
    if (findInvalidConfigField(record) == ConfigField::None && layoutConfigFrame(record, {}).size() != FrameSize)
        fail();

    const QByteArray original = bytes.left(NameSize);
    const std::optional<QByteArray> field = encodeDeviceName(text, original);
    if (field && field->size() != NameSize)
        fail();
    checkShownName(original, displayDeviceName(original));
}
