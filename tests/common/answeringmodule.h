#pragma once

#include "framecipher.h"
#include "frameconstants.h"
#include "framekey.h"
#include "framelayout.h"
#include "privatenetwork.h"
#include "receivefilter.h"
#include "replyframe.h"

#include <QHostAddress>
#include <QList>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <array>

// One module on the segment, played by a test inside its event loop: it answers every search request with its
// reply, from port 1500 of its own address, and takes the configuration frames addressed to its MAC as a module
// does (keeping its MAC and version). What it was sent is kept, decrypted, for the test to read. It can answer with
// another frame key, keep its parameters whatever it is sent, or stay silent. The tests' frame key is the built-in
// one.
class AnsweringModule
{
public:
    AnsweringModule(const DeviceRecord &record, const QString &address)
        : record(record)
        , address(address)
    {
        QObject::connect(&listener, &QUdpSocket::readyRead, &listener, [this] { hear(); });
    }

    bool open()
    {
        return sender.bind(QHostAddress(address), DevicePort, QAbstractSocket::ShareAddress)
            && listener.bind(QHostAddress::AnyIPv4, DevicePort, QAbstractSocket::ShareAddress);
    }

    // Replies are encrypted with this key from now on instead of the installed one.
    void useOtherKey(const std::array<quint8, 16> &key)
    {
        otherKey = key;
        hasOtherKey = true;
    }

    DeviceRecord record;
    bool answers = true; // to search requests
    bool applies = true; // the configuration frames it is sent
    int requestsHeard = 0;
    QList<QByteArray> configFrames; // decrypted, addressed to this module

private:
    void hear()
    {
        while (listener.hasPendingDatagrams()) {
            const QByteArray bytes = listener.receiveDatagram().data();
            if (bytes == QByteArray(DiscoveryRequest, DiscoveryRequestSize)) {
                ++requestsHeard;
                if (answers)
                    answer();
                continue;
            }
            if (bytes.size() != FrameSize)
                continue;
            QByteArray plain = bytes;
            decryptFrame(reinterpret_cast<quint8 *>(plain.data()), FrameSize);
            if (classifyPlainFrame(plain) != DatagramKind::ConfigFrame
                || plain.left(MacSize) != macAddressBytes(record.macAddress))
                continue;
            configFrames << plain;
            if (applies) {
                const QString version = record.version;
                record = decodeDeviceReply(plain, address);
                record.version = version;
            }
        }
    }

    void answer()
    {
        QByteArray frame = layoutDeviceReply(record);
        if (hasOtherKey) {
            setFrameKey(otherKey.data());
            encryptFrame(reinterpret_cast<quint8 *>(frame.data()), FrameSize);
            setFrameKey(BuiltInFrameKey);
        } else {
            encryptFrame(reinterpret_cast<quint8 *>(frame.data()), FrameSize);
        }
        sender.writeDatagram(frame, QHostAddress(QLatin1String(BroadcastAddress)), DevicePort);
    }

    QString address;
    QUdpSocket sender;
    QUdpSocket listener;
    std::array<quint8, 16> otherKey {};
    bool hasOtherKey = false;
};
