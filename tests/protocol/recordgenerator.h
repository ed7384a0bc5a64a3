#pragma once

#include "devicerecord.h"

#include <QRandomGenerator>
#include <QStringList>

// Records with every field drawn at random but in the form's ranges, for round trips.
inline DeviceRecord randomRecord(QRandomGenerator &random)
{
    const auto number = [&random](int bound) { return random.bounded(bound); };
    const auto address = [&number]() {
        return QStringLiteral("%1.%2.%3.%4").arg(number(256)).arg(number(256)).arg(number(256)).arg(number(256));
    };

    DeviceRecord record;
    for (int i = 0; i < 6; ++i)
        record.macAddress += QStringLiteral("%1").arg(number(256), 2, 16, QLatin1Char('0')).toUpper();
    record.version = QStringLiteral("%1.%2.%3.%4").arg(number(16)).arg(number(16)).arg(number(16)).arg(number(16));

    // ASCII and characters of two, three and four UTF-8 bytes, as many as fit in the 10-byte field.
    const QStringList pieces
        = {QStringLiteral("A"),      QStringLiteral("z"),      QStringLiteral("7"),      QStringLiteral("-"),
           QStringLiteral("\u00E9"), QStringLiteral("\u6E29"), QStringLiteral("\u5EA6"), QStringLiteral("\U0001F600")};
    const int wanted = number(11);
    for (int i = 0; i < wanted; ++i) {
        const QString piece = pieces.at(number(pieces.size()));
        if ((record.deviceName + piece).toUtf8().size() <= 10)
            record.deviceName += piece;
    }

    record.localIp = address();
    record.remoteIp = address();
    record.subnetMask = address();
    record.gateway = address();
    record.localPort = number(8) == 0 ? QStringLiteral("0") : QString::number(number(65536));
    record.remotePort = QString::number(number(65536));
    record.baudRate = QString::number(number(1 << 24));
    record.workMode = number(4);
    record.ipType = number(2);
    record.randomPort = record.localPort == QLatin1String("0");
    record.parity = number(3);
    record.dataBits = number(2);
    record.stopBits = number(2);
    record.modbusConvert = number(2);
    return record;
}

// Every field, for readable failure messages.
inline QString describe(const DeviceRecord &r)
{
    return QStringLiteral("mac=%1 version=%2 name=%3 lip=%4 rip=%5 mask=%6 gw=%7 lport=%8 rport=%9 baud=%10 "
                          "mode=%11 iptype=%12 random=%13 parity=%14 data=%15 stop=%16 modbus=%17 source=%18")
        .arg(r.macAddress, r.version, r.deviceName, r.localIp, r.remoteIp, r.subnetMask, r.gateway, r.localPort,
             r.remotePort)
        .arg(r.baudRate)
        .arg(r.workMode)
        .arg(r.ipType)
        .arg(r.randomPort)
        .arg(r.parity)
        .arg(r.dataBits)
        .arg(r.stopBits)
        .arg(r.modbusConvert)
        .arg(r.sourceIp);
}
