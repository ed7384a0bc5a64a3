#include "framechecksum.h"
#include "frameconstants.h"
#include "receivefilter.h"
#include "replyframe.h"
#include "replyproperties.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// The receive path after decryption, without the cipher, so that the fuzzer's changes to the bytes reach the checks:
// the checks a decrypted frame meets, the decoding of a module's reply and the configuration frame built from it.

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > 0xFFFF)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));

    // As it stands: mostly a wrong length or checksum.
    if (classifyPlainFrame(bytes) == DatagramKind::Reply)
        checkReply(bytes);

    // With its checksum filled in: a configuration frame when it carries the marker, else a reply exactly when it
    // holds what a module can report.
    QByteArray frame = bytes.leftJustified(FrameSize, '\0', true);
    storeFrameChecksum(frame);
    const DatagramKind kind = classifyPlainFrame(frame);
    const bool marked = frame.mid(MarkerOffset, MarkerSize) == QByteArray(ConfigMarker, MarkerSize);
    DatagramKind expected = looksLikeModuleReply(frame) ? DatagramKind::Reply : DatagramKind::Implausible;
    if (marked)
        expected = DatagramKind::ConfigFrame;
    if (kind != expected)
        __builtin_trap();
    if (kind == DatagramKind::Reply)
        checkReply(frame);

    decodeDeviceReply(bytes, QString()); // any length, not only checked frames
    checkFormText(bytes);
    return 0;
}
