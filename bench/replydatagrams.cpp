#include "replydatagrams.h"

#include "factorydefaults.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "framelayout.h"
#include "replyframe.h"

#include <QHostAddress>

QByteArray plainReply(quint64 mac)
{
    DeviceRecord module = factoryDefaultRecord();
    module.macAddress = macAddressText(mac);
    module.version = QStringLiteral("1.0.0.0");
    module.deviceName = QStringLiteral("Bench");
    return layoutDeviceReply(module);
}

QByteArray encryptedReply(quint64 mac)
{
    QByteArray frame = plainReply(mac);
    encryptFrame(reinterpret_cast<quint8 *>(frame.data()), FrameSize);
    return frame;
}

QNetworkDatagram replyDatagram(quint64 mac)
{
    static const QHostAddress module(QStringLiteral("::ffff:10.231.0.7"));
    QNetworkDatagram datagram(encryptedReply(mac));
    datagram.setSender(module, DevicePort);
    return datagram;
}
