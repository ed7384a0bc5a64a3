#include "deviceendpoint.h"

#include "broadcastinterfaces.h"
#include "frameconstants.h"
#include "socketbatchreader.h"

#include <QHostAddress>
#include <QMutexLocker>
#include <QUdpSocket>
#include <QVariant>

#include <cerrno>
#include <utility>

namespace {

// Room for a burst while the reader thread is not scheduled; the kernel may cap it lower.
constexpr int ReceiveBufferSize = 4 * 1024 * 1024;
constexpr int KeptFailures = 64;
// Batches read per wake-up before sends queued behind them get their turn; the notifier wakes the reader again.
constexpr int BatchesPerWake = 16;
// While a burst arrives, the reader lets replies gather this long before it reads again, rather than waking for
// each one: a stock receive queue holds about 550 replies, which even 1,000,000 a second take 0.5 ms to fill.
constexpr unsigned long GatherMicroseconds = 200;

} // namespace

// Lives in the endpoint's thread and owns the socket there.
class DatagramReader : public QObject
{
public:
    explicit DatagramReader(DeviceEndpoint *endpoint)
        : endpoint(endpoint)
    {
    }

    // The receive buffer the system granted, in bytes; 0 when the port could not be bound.
    int bind(QString *error)
    {
        SocketBatchReader::raiseThreadPriority();
        socket = new QUdpSocket(this);
        // Other programs on this host may hold the port too (the window beside kestrelctl, kestrel-sim): ShareAddress
        // lets them on Unix, ReuseAddressHint on Windows (both are SO_REUSEADDR).
        if (!socket->bind(QHostAddress::Any, DevicePort,
                          QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
            if (error)
                *error = socket->errorString();
            return 0;
        }
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ReceiveBufferSize);
        if (!batch.attach(socket, [this] { drain(); }, error))
            return 0;
        return qMax(1, socket->socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt());
    }

    void hold(bool held) { batch.hold(held); }

    bool currentDropCount(quint32 *count) const { return batch.currentDropCount(count); }

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
        for (int round = 0; round < BatchesPerWake; ++round) {
            const int count = batch.read();
            if (count <= 0)
                return; // nothing waits, or an error the next datagram will not repeat
            endpoint->store(batch, count);
            if (count < SocketBatchReader::Slots)
                QThread::usleep(GatherMicroseconds);
        }
    }

    DeviceEndpoint *endpoint;
    QUdpSocket *socket = nullptr;
    SocketBatchReader batch;
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
        reader, [this, error] { receiveBuffer = reader->bind(error); }, Qt::BlockingQueuedConnection);
    bound = receiveBuffer > 0;
    return bound;
}

void DeviceEndpoint::holdReading(bool hold)
{
    QMetaObject::invokeMethod(
        reader, [this, hold] { reader->hold(hold); }, Qt::BlockingQueuedConnection);
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

void DeviceEndpoint::store(const SocketBatchReader &batch, int count)
{
    quint32 systemDrops = 0;
    if (batch.dropCount(&systemDrops))
        countDrops(systemDrops);
    bool wasEmpty = false;
    int kept = 0;
    {
        QMutexLocker locker(&queueLock);
        wasEmpty = untaken == 0;
        // Whole datagrams, oldest first, while both the count and the bytes stay within their limits.
        qint64 bytes = 0;
        while (kept < count && untaken + kept < queueLimit
               && untakenBytes + bytes + batch.datagram(kept).length <= QueueByteLimit) {
            bytes += batch.datagram(kept).length;
            ++kept;
        }
        untaken += kept;
        untakenBytes += filling.append(batch, kept);
    }
    countOwnDrops(count - kept);
    if (wasEmpty && kept > 0)
        emit datagramsArrived();
}

void DeviceEndpoint::setQueueLimit(int datagrams)
{
    QMutexLocker locker(&queueLock);
    queueLimit = qMax(1, datagrams);
}

int DeviceEndpoint::discardDatagrams()
{
    QMutexLocker takeLocker(&takeLock);
    int discarded = 0;
    {
        QMutexLocker locker(&queueLock);
        discarded = untaken;
        untaken = 0;
        untakenBytes = 0;
        filling.clear();
        filling.trim();
    }
    taking.clear();
    taking.trim();
    countOwnDrops(discarded);
    return discarded;
}

void DeviceEndpoint::countOwnDrops(int count)
{
    if (count <= 0)
        return;
    QMutexLocker locker(&dropLock);
    dropTotal += quint64(count);
}

int DeviceEndpoint::takeDatagrams(int maxCount, const std::function<void(const ArrivedDatagram &)> &visit)
{
    QMutexLocker takeLocker(&takeLock);
    int taken = 0;
    qint64 takenBytes = 0;
    while (taken < maxCount) {
        if (taking.allTaken()) {
            // Trade the emptied buffer for the reader's; both keep their memory for the next burst.
            taking.clear();
            taking.trim();
            QMutexLocker locker(&queueLock);
            if (filling.isEmpty())
                break;
            std::swap(taking, filling);
        }
        const ArrivedDatagram &next = taking.takeNext();
        takenBytes += next.length;
        visit(next);
        ++taken;
    }
    if (taken > 0) {
        QMutexLocker locker(&queueLock);
        untaken -= taken;
        untakenBytes -= takenBytes;
    }
    return taken;
}

QVector<QNetworkDatagram> DeviceEndpoint::takeDatagrams(int maxCount)
{
    QVector<QNetworkDatagram> taken;
    {
        QMutexLocker locker(&queueLock);
        taken.reserve(qMin(maxCount, untaken));
    }
    takeDatagrams(maxCount, [&taken](const ArrivedDatagram &datagram) { taken.append(datagram.toNetworkDatagram()); });
    return taken;
}

bool DeviceEndpoint::hasDatagrams() const
{
    QMutexLocker locker(&queueLock);
    return untaken > 0;
}

bool DeviceEndpoint::countsDrops()
{
    return SocketBatchReader::countsDrops();
}

quint64 DeviceEndpoint::droppedDatagrams() const
{
    quint32 systemCount = 0;
    if (bound && reader->currentDropCount(&systemCount))
        countDrops(systemCount);
    QMutexLocker locker(&dropLock);
    return dropTotal;
}

void DeviceEndpoint::countDrops(quint32 systemCount) const
{
    QMutexLocker locker(&dropLock);
    // Readings from two threads may come in either order; an older one adds nothing.
    const qint32 newer = qint32(systemCount - lastDropCount);
    if (newer > 0) {
        dropTotal += quint64(newer);
        lastDropCount = systemCount;
    }
}
