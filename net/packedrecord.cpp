#include "packedrecord.h"

#include "framelayout.h"
#include "replyframe.h"

#include <QHostAddress>

#include <algorithm>

PackedRecord::PackedRecord(const DeviceRecord &record)
{
    bool isIpv4 = false;
    sourceIpv4 = QHostAddress(record.sourceIp).toIPv4Address(&isIpv4);
    interfaceIndex = record.interfaceIndex;
    reportedLineFormat = record.reportedLineFormat;
    const QByteArray bytes = layoutDeviceReply(record);
    if (isIpv4 && bytes.size() == FrameSize && macAddressKey(record.macAddress)) {
        std::copy(bytes.cbegin(), bytes.cend(), frame.begin());
        // Only what comes back exactly is kept as bytes.
        if (this->record() == record)
            return;
    }
    kept = std::make_shared<const DeviceRecord>(record);
}

QString PackedRecord::sourceIp() const
{
    return kept ? kept->sourceIp : QHostAddress(sourceIpv4).toString();
}

DeviceRecord PackedRecord::record() const
{
    if (kept)
        return *kept;
    DeviceRecord record = decodeDeviceReply(QByteArray(frame.data(), FrameSize), sourceIp());
    record.interfaceIndex = interfaceIndex;
    record.reportedLineFormat = reportedLineFormat;
    return record;
}

bool PackedRecord::hasMacAddress(const QString &macAddress) const
{
    if (kept)
        return kept->macAddress == macAddress;
    const std::optional<quint64> key = macAddressKey(macAddress);
    if (!key)
        return false;
    quint64 mine = 0;
    for (int i = MacOffset; i < MacOffset + MacSize; ++i)
        mine = (mine << 8) | quint8(frame[size_t(i)]);
    return mine == *key;
}
