#pragma once

#include <QString>
#include <QVector>

class MainWindow;
class QAbstractItemModel;
class QNetworkDatagram;
class QTableWidget;

// The window's private receive path and its list, reached as a measurement needs them (a friend of MainWindow).
class ReceiveBench
{
public:
    explicit ReceiveBench(MainWindow &window)
        : window(window)
    {
    }

    // How many datagrams the window's receive slot takes at a time.
    static int receiveBatch();

    void receiveDatagram(const QNetworkDatagram &datagram);
    void pressSearch();
    int listed() const;
    QTableWidget *deviceTable() const;
    // What the kernel dropped on the window's device port so far.
    quint64 droppedDatagrams() const;

private:
    MainWindow &window;
};

// Microseconds per datagram carrying a valid reply of a module not listed yet, medians.
struct ReceiveCosts {
    int rowsListed = 0; // modules listed when sampling began
    double receive = 0; // one receiveDatagram call
    double decryptFrame = 0; // one decryptFrame of the same frame, timed right after each receiveDatagram
    double repeated = 0; // one receiveDatagram of a reply heard before, byte for byte
};

// One window on the current platform; modules are listed through the receive path itself up to each of
// `rowCounts` (ascending), and measured there. False, with the reason, when a fresh reply is not listed.
bool measureReceivePath(const QVector<int> &rowCounts, QVector<ReceiveCosts> *results, QString *error);
