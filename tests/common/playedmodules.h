#pragma once

#include "factorydefaults.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "privatenetwork.h"
#include "replyframe.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QList>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <functional>

// The receive queue a socket of this process gets when it asks for a large one, in bytes: small only when ctest
// preloads the clamping library with a small KESTREL_RCVBUF_CAP, as the tests that drop replies on purpose need.
inline int grantedReceiveQueue()
{
    QUdpSocket probe;
    if (!probe.bind(QHostAddress(QHostAddress::AnyIPv4), 0))
        return -1;
    probe.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 * 1024 * 1024);
    return probe.socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt();
}

// Modules on the segment, played by a test: module i answers with its factory reply (MAC firstMac + i) under the
// installed frame key, from port 1500 of the namespace's second address, broadcast as modules do. A listener beside
// the tool hears what the segment carries: the tool's requests, the replies, and a sentinel the tool sends behind
// its requests to show that none came after them.
class PlayedModules
{
public:
    static constexpr char Address[] = "10.231.0.2";

    PlayedModules(int count, quint64 firstMac)
        : firstMac(firstMac)
    {
        for (int i = 0; i < count; ++i) {
            DeviceRecord record = factoryDefaultRecord();
            record.macAddress = mac(i);
            record.version = QStringLiteral("1.0.0.1");
            QByteArray frame = layoutDeviceReply(record);
            encryptFrame(reinterpret_cast<quint8 *>(frame.data()), FrameSize);
            replies << frame;
        }
    }

    bool open()
    {
        return modules.bind(QHostAddress(QLatin1String(Address)), DevicePort, QAbstractSocket::ShareAddress)
            && listener.bind(QHostAddress::AnyIPv4, DevicePort, QAbstractSocket::ShareAddress);
    }

    int count() const { return replies.size(); }
    QString mac(int module) const
    {
        return QStringLiteral("%1").arg(firstMac + quint64(module), MacDigits, 16, QLatin1Char('0')).toUpper();
    }
    QList<int> all() const
    {
        QList<int> every;
        for (int i = 0; i < replies.size(); ++i)
            every << i;
        return every;
    }

    bool answer(const QList<int> &which)
    {
        for (const int module : which) {
            if (modules.writeDatagram(replies.at(module), QHostAddress(QLatin1String(BroadcastAddress)), DevicePort)
                != FrameSize)
                return false;
        }
        return true;
    }

    // Datagrams that are neither a request nor a reply, as other programs on port 1500 send them: enough of them
    // fill a receive queue that is not read, so that whatever comes next is dropped.
    bool chatter(int count)
    {
        for (int i = 0; i < count; ++i) {
            if (modules.writeDatagram(Chatter, QHostAddress(QLatin1String(BroadcastAddress)), DevicePort)
                != Chatter.size())
                return false;
        }
        return true;
    }

    // Reads what the listener has; true once the condition holds.
    bool heard(const std::function<bool()> &condition)
    {
        while (listener.hasPendingDatagrams()) {
            const QByteArray bytes = listener.receiveDatagram().data();
            if (bytes == QByteArray(DiscoveryRequest, DiscoveryRequestSize))
                ++requestsHeard;
            else if (bytes == sentinel())
                sentinelHeard = true;
            else if (bytes == Chatter)
                ++chatterHeard;
            else if (bytes.size() == FrameSize)
                ++repliesHeard;
        }
        return condition();
    }

    // Waits without running the event loop, so that no timer of the tool fires meanwhile.
    bool heardWithoutEvents(const std::function<bool()> &condition)
    {
        const QDeadlineTimer deadline(KestrelWaitBoundMs);
        while (!heard(condition)) {
            if (deadline.hasExpired())
                return false;
            listener.waitForReadyRead(100);
        }
        return true;
    }

    // What the tool sends behind its requests once its search is over.
    static QByteArray sentinel() { return QByteArrayLiteral("end of the search"); }

    int requestsHeard = 0;
    int repliesHeard = 0;
    int chatterHeard = 0;
    bool sentinelHeard = false;

private:
    const QByteArray Chatter = QByteArrayLiteral("chatter");
    quint64 firstMac;
    QList<QByteArray> replies;
    QUdpSocket modules;
    QUdpSocket listener;
};
