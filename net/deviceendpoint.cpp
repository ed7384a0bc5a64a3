#include "deviceendpoint.h"

#include "broadcastinterfaces.h"
#include "frameconstants.h"
#include "socketbatchreader.h"

#include <QHostAddress>
#include <QMutexLocker>
#include <QSocketNotifier>
#include <QUdpSocket>
#include <QVariant>

#include <cerrno>
#include <fcntl.h>
#include <linux/sock_diag.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

namespace {

// Room for a burst while the reader thread is not scheduled; the kernel may cap it lower.
constexpr int ReceiveBufferSize = 4 * 1024 * 1024;
constexpr int KeptFailures = 64;
constexpr int ReaderNice = -10;
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

    ~DatagramReader() override
    {
        delete notifier;
        if (descriptor >= 0)
            close(descriptor);
    }

    // The reader's own descriptor of the socket, or -1.
    int bind(QString *error)
    {
        // The reader must get a core within milliseconds while a burst arrives, or the kernel's queue overflows;
        // where the system lets us, it runs ahead of the busy threads that list and send.
        setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), ReaderNice);
        socket = new QUdpSocket(this);
        if (!socket->bind(QHostAddress::Any, DevicePort, QAbstractSocket::ShareAddress)) {
            if (error)
                *error = socket->errorString();
            return -1;
        }
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ReceiveBufferSize);
        // Reads go past Qt straight to the socket, through a descriptor of its own. Qt's notifier on the socket
        // announces data once more that nobody reads through Qt, then stays off for good.
        descriptor = fcntl(int(socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
        if (descriptor < 0) {
            if (error)
                *error = qt_error_string(errno);
            return -1;
        }
        SocketBatchReader::enableReports(descriptor);
        notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read);
        connect(notifier, &QSocketNotifier::activated, this, &DatagramReader::drain);
        return descriptor;
    }

    void hold(bool held)
    {
        if (notifier)
            notifier->setEnabled(!held);
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
        for (int round = 0; round < BatchesPerWake; ++round) {
            const int count = batch.read(descriptor);
            if (count <= 0)
                return; // nothing waits, or an error the next datagram will not repeat
            endpoint->store(batch, count);
            if (count < SocketBatchReader::Slots)
                QThread::usleep(GatherMicroseconds);
        }
    }

    DeviceEndpoint *endpoint;
    QUdpSocket *socket = nullptr;
    QSocketNotifier *notifier = nullptr;
    int descriptor = -1;
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
        reader, [this, error] { descriptor = reader->bind(error); }, Qt::BlockingQueuedConnection);
    bound = descriptor >= 0;
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

// The system keeps one count per socket, reported with each datagram queued after a drop and readable at any
// time; asking now also counts drops after the last datagram that arrived.
quint64 DeviceEndpoint::droppedDatagrams() const
{
    if (descriptor >= 0) {
        quint32 memory[SK_MEMINFO_VARS] = {};
        socklen_t length = sizeof memory;
        if (getsockopt(descriptor, SOL_SOCKET, SO_MEMINFO, memory, &length) == 0
            && length >= (SK_MEMINFO_DROPS + 1) * sizeof(quint32))
            countDrops(memory[SK_MEMINFO_DROPS]);
    }
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
