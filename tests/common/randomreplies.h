#pragma once

#include "devicerecord.h"
#include "frameconstants.h"
#include "replyframe.h"

#include <QList>
#include <QRandomGenerator>

// Modules as replies of random bytes decode them (every field, the unused bits of the line-format byte, names in no
// encoding), each from its own address on 10.231.0.0/16 and through one of three adapters: what a list of modules
// must give back exactly, however it keeps them.
inline QList<DeviceRecord> randomReplies(int count, quint32 seed)
{
    QRandomGenerator random(seed);
    QList<DeviceRecord> records;
    for (int i = 0; i < count; ++i) {
        QByteArray frame(FrameSize, '\0');
        for (char &byte : frame)
            byte = char(random.bounded(256));
        DeviceRecord record = decodeDeviceReply(frame, QStringLiteral("10.231.%1.%2").arg(i / 256).arg(i % 256));
        record.interfaceIndex = 1 + i % 3;
        records << record;
    }
    return records;
}
