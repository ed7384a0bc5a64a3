#pragma once

#include "factorydefaults.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "replyframe.h"

#include <QHostAddress>
#include <QUdpSocket>

// The address of the private namespace's adapter kst0 (scripts/netns-run.sh).
inline const QString PrivateAdapterAddress = QStringLiteral("10.231.0.1");

// A module played by the test: its factory reply under the installed frame key, broadcast from port 1500 of the
// namespace's adapter. Replies are handled in order of arrival, so once the window lists it, every datagram that
// arrived before it has been handled: the way a test proves that nothing else came. False when it could not be sent.
inline bool broadcastSentinelReply(const QString &macAddress)
{
    DeviceRecord sentinel = factoryDefaultRecord();
    sentinel.macAddress = macAddress;
    sentinel.version = QStringLiteral("1.0.0.1");
    QByteArray frame = layoutDeviceReply(sentinel);
    encryptFrame(reinterpret_cast<quint8 *>(frame.data()), FrameSize);
    QUdpSocket module;
    return module.bind(QHostAddress(PrivateAdapterAddress), DevicePort, QAbstractSocket::ShareAddress)
        && module.writeDatagram(frame, QHostAddress(QLatin1String(BroadcastAddress)), DevicePort) == FrameSize;
}
