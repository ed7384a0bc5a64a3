#include "receivebench.h"

#include "arriveddatagram.h"
#include "benchclock.h"
#include "deviceendpoint.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "mainwindow.h"
#include "replydatagrams.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QNetworkDatagram>
#include <QTest>

#include <cstring>

namespace {

constexpr int Samples = 1024; // replies timed at each row count
constexpr quint64 FirstMac = Q_UINT64_C(0x02BD00000000);

} // namespace

int ReceiveBench::receiveBatch()
{
    return MainWindow::ReceiveBatch;
}

void ReceiveBench::receiveDatagram(const QNetworkDatagram &datagram)
{
    // As the endpoint hands it over: the sender as the dual-stack socket reports it.
    const QByteArray bytes = datagram.data();
    ArrivedDatagram arrived;
    arrived.data = bytes.constData();
    arrived.length = bytes.size();
    arrived.senderPort = quint16(datagram.senderPort());
    arrived.interfaceIndex = int(datagram.interfaceIndex());
    const Q_IPV6ADDR sender = datagram.senderAddress().toIPv6Address();
    std::memcpy(arrived.sender, sender.c, sizeof(arrived.sender));
    window.receiveDatagram(arrived);
}

void ReceiveBench::pressSearch()
{
    window.on_pushButton_SearchDevice_clicked();
}

int ReceiveBench::listed() const
{
    return window.deviceList.size();
}

QTableWidget *ReceiveBench::deviceTable() const
{
    return window.ui->tableWidget_DeviceList;
}

quint64 ReceiveBench::droppedDatagrams() const
{
    return window.udpSocket->droppedDatagrams();
}

bool measureReceivePath(const QVector<int> &rowCounts, QVector<ReceiveCosts> *results, QString *error)
{
    MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        *error = QStringLiteral("the window was not shown");
        return false;
    }
    ReceiveBench bench(window);
    // The window takes what has arrived in batches of this many datagrams.
    const int batch = ReceiveBench::receiveBatch();
    quint64 nextMac = FirstMac;

    // Replies for the samples are made beforehand, so only the window's work is timed.
    const auto freshReplies = [&nextMac](int count) {
        QVector<QNetworkDatagram> replies;
        replies.reserve(count);
        for (int i = 0; i < count; ++i)
            replies.append(replyDatagram(nextMac++));
        return replies;
    };

    for (const int rows : rowCounts) {
        while (bench.listed() < rows) {
            const int before = bench.listed();
            bench.receiveDatagram(replyDatagram(nextMac++));
            if (bench.listed() != before + 1) {
                *error = QStringLiteral("the window did not list a fresh reply after %1 modules").arg(before);
                return false;
            }
            if (bench.listed() % batch == 0)
                QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();

        ReceiveCosts costs;
        costs.rowsListed = bench.listed();

        // Each call alone, and beside it the frame cipher on the same frame, so that the ratio holds even when
        // the machine is busy elsewhere. What the table defers (layout, repaint) runs untimed between batches, as
        // the window lets the event loop run between its slices.
        const QVector<QNetworkDatagram> replies = freshReplies(Samples);
        std::vector<double> receiveSamples;
        std::vector<double> decryptSamples;
        quint8 frame[FrameSize];
        for (int i = 0; i < replies.size(); ++i) {
            const auto start = BenchClock::now();
            bench.receiveDatagram(replies.at(i));
            receiveSamples.push_back(microsecondsBetween(start, BenchClock::now()));

            std::memcpy(frame, replies.at(i).data().constData(), FrameSize);
            const auto decryptStart = BenchClock::now();
            decryptFrame(frame, FrameSize);
            decryptSamples.push_back(microsecondsBetween(decryptStart, BenchClock::now()));
            keepResult(frame[0]);

            if ((i + 1) % batch == 0)
                QCoreApplication::processEvents();
        }
        costs.receive = median(std::move(receiveSamples));
        costs.decryptFrame = median(std::move(decryptSamples));

        // The same replies again, as modules answer a repeated request: listed already, known by their bytes.
        std::vector<double> repeatSamples;
        for (int i = 0; i < replies.size(); ++i) {
            const auto start = BenchClock::now();
            bench.receiveDatagram(replies.at(i));
            repeatSamples.push_back(microsecondsBetween(start, BenchClock::now()));
        }
        costs.repeated = median(std::move(repeatSamples));

        const int expected = costs.rowsListed + Samples;
        if (bench.listed() != expected) {
            *error = QStringLiteral("%1 of %2 timed replies were listed")
                         .arg(bench.listed() - costs.rowsListed)
                         .arg(expected - costs.rowsListed);
            return false;
        }
        results->append(costs);
    }
    return true;
}
