// A host on one segment of scripts/netns-segments.sh, started there with scripts/segment-exec.sh K:
//   segmentpeer listen          prints "listening", then "<payload> from <address>" for every datagram on the
//                               device port, and exits when "END" arrives
//   segmentpeer send PAYLOAD... broadcasts each PAYLOAD on the device port, in order, and exits
#include "datagramsbefore.h"
#include "frameconstants.h"
#include "privatenetwork.h"

#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <cstdio>

int main(int argc, char *argv[])
{
    requirePrivateNetwork();
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    QUdpSocket socket;
    if (arguments.value(0) == QLatin1String("listen")) {
        if (!socket.bind(QHostAddress::AnyIPv4, DevicePort, QAbstractSocket::ShareAddress))
            return 1;
        std::printf("listening\n");
        std::fflush(stdout);
        bool complete = false;
        const QList<QNetworkDatagram> received = datagramsBefore(socket, "END", &complete, 60000);
        for (const QNetworkDatagram &datagram : received)
            std::printf("%s from %s\n", datagram.data().constData(), qPrintable(datagram.senderAddress().toString()));
        return complete ? 0 : 1;
    }
    if (arguments.value(0) == QLatin1String("send") && arguments.size() > 1) {
        for (const QString &payload : arguments.mid(1)) {
            if (socket.writeDatagram(payload.toUtf8(), QHostAddress(QLatin1String(BroadcastAddress)), DevicePort) < 0)
                return 1;
        }
        return 0;
    }
    std::fprintf(stderr, "usage: segmentpeer listen | segmentpeer send PAYLOAD...\n");
    return 2;
}
