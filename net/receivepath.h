#pragma once

#include "devicerecord.h"
#include "receivefilter.h"

#include <QByteArray>
#include <QHash>
#include <QLoggingCategory>
#include <QString>

#include <optional>

class QNetworkDatagram;

// The receive path every program that listens on the device port shares: each datagram is judged
// (hearDatagram), a module's reply is decoded with where it came from (decodeModuleReply), and the replies of a
// search are merged by MAC (ReplyCollector).

// One line per datagram heard ("%1:%2[%3]:%4": sender address, sender port, length, the bytes in upper-case
// hexadecimal), the decrypted frame of every datagram that got as far as decryption, and that frame once more
// when it passed every check and is a module's reply. Off by default; on with
// QT_LOGGING_RULES="kestrel.datagram.debug=true".
Q_DECLARE_LOGGING_CATEGORY(datagramLog)

// What a datagram heard on the device port is (classifyDatagram), with its diagnostic lines written.
ReceivedDatagram hearDatagram(const QNetworkDatagram &datagram);

// A module's reply as a record: the decrypted frame decoded, with the text of the address it came from and the
// adapter it came in on (0: unknown).
DeviceRecord decodeModuleReply(const QByteArray &plainFrame, const QString &sourceIp, int interfaceIndex);

// Both in one: the module's reply a datagram carries, or nothing when it carries none.
std::optional<DeviceRecord> hearModuleReply(const QNetworkDatagram &datagram);

// The most modules a search lists: far above any real segment, so that only a flood of forged replies reaches it,
// and its memory stays bounded.
constexpr int MostListedModules = 1000000;

// The replies since the last search, merged by MAC: the first reply of a MAC decides how the module is listed.
class ReplyCollector
{
public:
    enum class Sighting {
        New, // the first reply of this MAC
        Repeated, // this MAC answered before from the same address
        OtherSource, // this MAC answered before from another address: two modules share the MAC
        Full, // a new MAC, but the list holds capacity() modules already: not listed
    };

    explicit ReplyCollector(int capacity = MostListedModules)
        : most(capacity)
    {
    }
    int capacity() const { return most; }

    // Takes one reply; *firstSource (when given) is the address of the MAC's first reply.
    Sighting add(const DeviceRecord &reply, QString *firstSource = nullptr);

    // A new search knows no module.
    void clear();
    void forget(const QString &macAddress);
    bool contains(const QString &macAddress) const { return firstSource(macAddress).has_value(); }
    int size() const { return packedSources.size() + textSources.size(); }

private:
    std::optional<QString> firstSource(const QString &macAddress) const;

    // MAC -> the address of its first reply: as numbers where both are a listed MAC and an IPv4 address (a few
    // dozen bytes a module, where a hundred thousand may answer), as texts otherwise.
    QHash<quint64, quint32> packedSources;
    QHash<QString, QString> textSources;
    int most = MostListedModules;
};
