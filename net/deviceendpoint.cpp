#include "deviceendpoint.h"

#include "broadcastinterfaces.h"
#include "frameconstants.h"

#include <QHostAddress>
#include <QMutexLocker>
#include <QUdpSocket>
#include <QVariant>

#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

namespace {

// Room for a burst while the reader thread is not scheduled; the kernel may cap it lower.
constexpr int ReceiveBufferSize = 4 * 1024 * 1024;
constexpr int KeptFailures = 64;
constexpr int ReaderNice = -10;

} // namespace

// Lives in the endpoint's thread and owns the socket there.
class DatagramReader : public QObject
{
public:
    explicit DatagramReader(DeviceEndpoint *endpoint)
        : endpoint(endpoint)
    {
    }

    bool bind(QString *error)
    {
        // The reader must get a core within milliseconds while a burst arrives, or the kernel's queue overflows;
        // where the system lets us, it runs ahead of the busy threads that list and send.
        setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), ReaderNice);
        socket = new QUdpSocket(this);
        if (!socket->bind(QHostAddress::Any, DevicePort, QAbstractSocket::ShareAddress)) {
            if (error)
                *error = socket->errorString();
            return false;
        }
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ReceiveBufferSize);
        connect(socket, &QUdpSocket::readyRead, this, &DatagramReader::drain);
        return true;
    }

    void send(const QByteArray &bytes, int interfaceIndex, const QHostAddress &sender)
    {
        if (!socket)
            return;
        QNetworkDatagram datagram(bytes, QHostAddress(QLatin1String(BroadcastAddress)), DevicePort);
        if (interfaceIndex > 0) {
            datagram.setInterfaceIndex(uint(interfaceIndex));
            datagram.setSender(sender);
        }
        errno = 0;
        if (socket->writeDatagram(datagram) != bytes.size()) {
            // Qt words most failures as "Unable to send a message"; the system's reason is what helps a user.
            const int reason = errno;
            const QString text = reason ? qt_error_string(reason) : socket->errorString();
            if (failures.size() < KeptFailures)
                failures << text;
            emit endpoint->sendFailed(text);
        }
    }

    // Failures of the sends since the last call (see flushSends).
    QStringList takeFailures() { return std::exchange(failures, {}); }

private:
    void drain()
    {
        QVector<QNetworkDatagram> arrived;
        while (socket->hasPendingDatagrams())
            arrived.append(socket->receiveDatagram());
        if (!arrived.isEmpty())
            endpoint->store(arrived);
    }

    DeviceEndpoint *endpoint;
    QUdpSocket *socket = nullptr;
    QStringList failures; // the first few since the last flush; nobody may ever flush
};

DeviceEndpoint::DeviceEndpoint(QObject *parent)
    : QObject(parent)
    , reader(new DatagramReader(this))
{
    reader->moveToThread(&thread);
    connect(&thread, &QThread::finished, reader, &QObject::deleteLater);
    thread.setObjectName(QStringLiteral("device port reader"));
    thread.start();
}

DeviceEndpoint::~DeviceEndpoint()
{
    thread.quit();
    thread.wait();
}

bool DeviceEndpoint::bind(QString *error)
{
    QMetaObject::invokeMethod(
        reader, [this, error] { bound = reader->bind(error); }, Qt::BlockingQueuedConnection);
    return bound;
}

QStringList DeviceEndpoint::flushSends()
{
    // Sends run in the reader's thread in the order they were asked for, so a call queued behind them returns
    // after the last one.
    QStringList failed;
    QMetaObject::invokeMethod(
        reader, [this, &failed] { failed = reader->takeFailures(); }, Qt::BlockingQueuedConnection);
    return failed;
}

void DeviceEndpoint::sendBroadcast(const QByteArray &datagram, int interfaceIndex)
{
    QHostAddress sender;
    if (interfaceIndex > 0) {
        const auto adapters = broadcastInterfaces();
        for (const BroadcastInterface &adapter : adapters) {
            if (adapter.index == interfaceIndex)
                sender = adapter.address();
        }
        if (sender.isNull())
            interfaceIndex = 0; // the adapter is gone: let the routing table choose
    }
    QMetaObject::invokeMethod(
        reader, [this, datagram, interfaceIndex, sender] { reader->send(datagram, interfaceIndex, sender); },
        Qt::QueuedConnection);
}

int DeviceEndpoint::sendBroadcastEverywhere(const QByteArray &datagram)
{
    const auto adapters = broadcastInterfaces();
    if (adapters.isEmpty())
        sendBroadcast(datagram);
    for (const BroadcastInterface &adapter : adapters) {
        const QHostAddress sender = adapter.address();
        const int index = adapter.index;
        QMetaObject::invokeMethod(
            reader, [this, datagram, index, sender] { reader->send(datagram, index, sender); }, Qt::QueuedConnection);
    }
    return qMax(1, adapters.size());
}

void DeviceEndpoint::store(QVector<QNetworkDatagram> &arrived)
{
    bool wasEmpty = false;
    {
        QMutexLocker locker(&queueLock);
        wasEmpty = queueHead == queue.size();
        if (wasEmpty) {
            queue.swap(arrived);
            queueHead = 0;
        } else {
            queue += arrived;
        }
    }
    if (wasEmpty)
        emit datagramsArrived();
}

QVector<QNetworkDatagram> DeviceEndpoint::takeDatagrams(int maxCount)
{
    QMutexLocker locker(&queueLock);
    const int count = qMin(maxCount, queue.size() - queueHead);
    QVector<QNetworkDatagram> taken(queue.cbegin() + queueHead, queue.cbegin() + queueHead + count);
    queueHead += count;
    if (queueHead == queue.size()) {
        queue.clear();
        queueHead = 0;
    }
    return taken;
}

bool DeviceEndpoint::hasDatagrams() const
{
    QMutexLocker locker(&queueLock);
    return queueHead < queue.size();
}
