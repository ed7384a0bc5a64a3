#pragma once

#include "devicerecord.h"
#include "frameconstants.h"

#include <QString>

#include <array>
#include <memory>

// One module's record kept as the 64 bytes of its reply (as the module would send it again), the address it
// answered from, the adapter and the line-format byte it reported, and decoded again when it is read: a hundred
// thousand modules cost about a hundred bytes each, not the kilobyte of a record's texts. A record whose bytes would
// not give it back exactly (none that came from a reply) is kept whole instead.
class PackedRecord
{
public:
    explicit PackedRecord(const DeviceRecord &record);

    DeviceRecord record() const;
    QString sourceIp() const;
    // Without decoding the rest.
    bool hasMacAddress(const QString &macAddress) const;

private:
    std::array<char, FrameSize> frame {};
    quint32 sourceIpv4 = 0;
    int interfaceIndex = 0;
    int reportedLineFormat = -1;
    std::shared_ptr<const DeviceRecord> kept;
};
