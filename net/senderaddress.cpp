#include "senderaddress.h"

#include <QHostAddress>

QString sourceIpText(const QHostAddress &sender)
{
    bool isIpv4 = false;
    const quint32 ipv4 = sender.toIPv4Address(&isIpv4);
    return isIpv4 ? QHostAddress(ipv4).toString() : sender.toString();
}
