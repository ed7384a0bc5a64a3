#pragma once

#include "devicerecordprinting.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QStringList>

#include <iterator>

// Records with every field drawn at random but in the form's ranges, for round trips.
inline DeviceRecord randomRecord(QRandomGenerator &random)
{
    const auto number = [&random](int bound) { return random.bounded(bound); };
    const auto address = [&number]() {
        return QStringLiteral("%1.%2.%3.%4").arg(number(256)).arg(number(256)).arg(number(256)).arg(number(256));
    };

    DeviceRecord record;
    // An adapter's own address: the group bit of the first byte clear.
    for (int i = 0; i < 6; ++i)
        record.macAddress
            += QStringLiteral("%1").arg(number(256) & (i == 0 ? 0xFE : 0xFF), 2, 16, QLatin1Char('0')).toUpper();
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
    // Ports 1-65535 (local port 0 stands for "Random"), baud rates 100-2000000: what the form accepts.
    record.localPort = number(8) == 0 ? QStringLiteral("0") : QString::number(1 + number(65535));
    record.remotePort = QString::number(1 + number(65535));
    record.baudRate = QString::number(100 + number(2000000 - 100 + 1));
    record.workMode = Module::WorkMode(number(4));
    record.ipType = Module::IpType(number(2));
    record.randomPort = record.localPort == QLatin1String("0");
    if (record.randomPort)
        record.workMode = Module::TcpClient; // the one mode in which "Random" can be sent
    record.parity = Module::Parity(number(3));
    record.dataBits = Module::DataBits(number(2));
    record.stopBits = Module::StopBits(number(2));
    record.modbusConvert = Module::ModbusConvert(number(2));
    return record;
}

// A module's plain reply as an independent model of the frame writes it, byte by byte: every byte random except
// the ports and the baud rate, which lie in the form's ranges (a local port of 0 means "Random"). The name bytes
// mix ASCII, GBK, UTF-8 (cut anywhere), controls, zeros and bytes neither encoding knows; the unused high bits of
// bytes 20, 21, 45 and 48 and the reserved bytes are random too. The checksum is not filled in.
inline QByteArray randomReplyFrame(QRandomGenerator &random)
{
    const auto number = [&random](int bound) { return random.bounded(bound); };
    QByteArray frame(64, '\0');
    for (char &byte : frame)
        byte = char(number(256));

    // ASCII, a zero, controls, a backslash and bytes neither encoding knows; GBK of two characters and a
    // four-byte GB18030 character; UTF-8 of two, three and four bytes, and a right-to-left override.
    static const char *const namePieces[]
        = {"41", "7A", "2D",   "37",   "00",       "07",   "1B",     "5C",       "7F",
           "80", "FF", "B1C3", "D5BE", "9439FC36", "C3A9", "E6B8A9", "F09F9880", "E280AE"};
    if (number(4) != 0) { // else ten random bytes
        QByteArray name;
        while (name.size() < 10)
            name += QByteArray::fromHex(namePieces[number(int(std::size(namePieces)))]);
        frame.replace(10, 10, name.left(10));
    }

    const auto putLittleEndian = [&frame](int offset, int width, quint32 value) {
        for (int i = 0; i < width; ++i)
            frame[offset + i] = char((value >> (8 * i)) & 0xFF);
    };
    putLittleEndian(34, 2, number(8) == 0 ? 0 : quint32(1 + number(65535))); // local port
    putLittleEndian(40, 2, quint32(1 + number(65535))); // remote port
    putLittleEndian(42, 3, quint32(100 + number(2000000 - 100 + 1))); // baud rate
    return frame;
}
