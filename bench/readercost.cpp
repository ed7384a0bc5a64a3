#include "readercost.h"

#include "arrivalbuffer.h"
#include "benchclock.h"
#include "frameconstants.h"
#include "replydatagrams.h"
#include "socketbatchreader.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QVariant>
#include <QVector>

#include <ctime>
#include <vector>

namespace {

constexpr int Rounds = 40;
// As many replies as the kernel keeps on a stock receive buffer, about.
constexpr int Fill = 500;
constexpr quint64 FirstMac = Q_UINT64_C(0x02BC00000000);
constexpr int RequestedReceiveBuffer = 4 * 1024 * 1024;

double threadCpuMicroseconds()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

// Fills the socket's queue with Fill replies from another socket; how many it holds.
int fill(QUdpSocket &sender, QUdpSocket &receiver, const std::vector<QByteArray> &replies)
{
    for (const QByteArray &reply : replies)
        sender.writeDatagram(reply, QHostAddress(QHostAddress::LocalHost), receiver.localPort());
    return int(replies.size());
}

} // namespace

bool measureReaderCost(ReaderCosts *costs, QString *error)
{
    std::vector<QByteArray> replies;
    for (int i = 0; i < Fill; ++i)
        replies.push_back(encryptedReply(FirstMac + quint64(i)));
    QUdpSocket sender;
    QUdpSocket receiver;
    if (!sender.bind(QHostAddress(QHostAddress::LocalHost), 0) || !receiver.bind(QHostAddress(QHostAddress::Any), 0)) {
        *error = QStringLiteral("cannot bind the reader's sockets: %1").arg(receiver.errorString());
        return false;
    }
    receiver.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, RequestedReceiveBuffer);
    // Read as the device port's reader thread reads, without its event loop: nothing announces, the loop below reads.
    SocketBatchReader batch;
    if (!batch.attach(&receiver, [] {}, error))
        return false;
    ArrivalBuffer queue;
    std::vector<double> batchSamples;
    std::vector<double> qtSamples;
    int held = 0;
    for (int round = 0; round < Rounds; ++round) {
        // The reader's way: a batch per system call, copied into the queue's memory.
        fill(sender, receiver, replies);
        int read = 0;
        double start = threadCpuMicroseconds();
        for (int count = batch.read(); count > 0; count = batch.read()) {
            queue.append(batch, count);
            read += count;
        }
        double spent = threadCpuMicroseconds() - start;
        queue.clear();
        if (read == 0) {
            *error = QStringLiteral("no reply reached the reader's socket");
            return false;
        }
        batchSamples.push_back(spent / read);
        held = read;

        // Qt's way, one datagram and its allocations at a time.
        fill(sender, receiver, replies);
        QVector<QNetworkDatagram> taken;
        start = threadCpuMicroseconds();
        while (receiver.hasPendingDatagrams())
            taken.append(receiver.receiveDatagram());
        spent = threadCpuMicroseconds() - start;
        if (!taken.isEmpty())
            qtSamples.push_back(spent / taken.size());
        keepResult(taken.size());
    }
    costs->batchRead = median(std::move(batchSamples));
    costs->qtReceive = median(std::move(qtSamples));
    costs->queued = held;
    return true;
}
