#include "arriveddatagram.h"

#include "frameconstants.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QNetworkInterface>

QHostAddress ArrivedDatagram::senderAddress() const
{
    QHostAddress address(sender);
    // A link-local sender carries the adapter in its scope, by name where the adapter still exists.
    if (senderScopeId != 0) {
        QString scope = QNetworkInterface::interfaceNameFromIndex(int(senderScopeId));
        if (scope.isEmpty())
            scope = QString::number(senderScopeId);
        address.setScopeId(scope);
    }
    return address;
}

QHostAddress ArrivedDatagram::destinationAddress() const
{
    if (!hasDestination)
        return QHostAddress();
    QHostAddress address(destination);
    if (interfaceIndex > 0)
        address.setScopeId(QString::number(interfaceIndex));
    return address;
}

QNetworkDatagram ArrivedDatagram::toNetworkDatagram() const
{
    QNetworkDatagram datagram(QByteArray(data, length), destinationAddress(), DevicePort);
    datagram.setSender(senderAddress(), senderPort);
    datagram.setInterfaceIndex(uint(qMax(interfaceIndex, 0)));
    return datagram;
}
