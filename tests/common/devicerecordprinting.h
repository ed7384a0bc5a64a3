#pragma once

#include "devicerecord.h"

#include <QMetaType>
#include <QtTest>

Q_DECLARE_METATYPE(DeviceRecord)

// A failing QCOMPARE of two records (or of two lists of them) prints both, field by field.
namespace QTest {
template<> inline char *toString(const DeviceRecord &record)
{
    const QString text
        = QStringLiteral("mac=%1 version=%2 name=\"%3\" name-bytes=%4 source=%5 adapter=%6 ip=%7 mask=%8 "
                         "gateway=%9")
              .arg(record.macAddress, record.version, record.deviceName,
                   QString::fromLatin1(record.nameField.toHex(' ').toUpper()), record.sourceIp)
              .arg(record.interfaceIndex)
              .arg(record.localIp, record.subnetMask, record.gateway)
        + QStringLiteral(" port=%1 random=%2 remote=%3:%4 baud=%5 mode=%6 ip-type=%7 parity=%8 data=%9")
              .arg(record.localPort)
              .arg(record.randomPort)
              .arg(record.remoteIp, record.remotePort, record.baudRate)
              .arg(record.workMode)
              .arg(record.ipType)
              .arg(record.parity)
              .arg(record.dataBits)
        + QStringLiteral(" stop=%1 modbus=%2 line-format=%3")
              .arg(record.stopBits)
              .arg(record.modbusConvert)
              .arg(record.reportedLineFormat);
    return qstrdup(text.toUtf8().constData());
}
} // namespace QTest
