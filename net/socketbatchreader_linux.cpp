// The reader on Linux: a batch of datagrams per system call (recvmmsg) through a descriptor of its own, and the
// socket's drop count (SO_RXQ_OVFL with each datagram, SO_MEMINFO at any time).
#include "socketbatchreader.h"

#include <QSocketNotifier>
#include <QUdpSocket>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

// A reply is 64 bytes; anything up to this fits its slot, which stays in a compact block that the cache keeps.
constexpr int HeadBytes = 256;
// The largest UDP payload over IPv6 without jumbograms, rounded up.
constexpr int LargestDatagram = 65536;
constexpr int TailBytes = LargestDatagram - HeadBytes;
// Room for the reports that may come with a datagram: packet information (IPv4 and IPv6), hop limit, drop count.
constexpr int ControlBytes = 256;
// How a dual-stack socket writes an IPv4 address: ::ffff:a.b.c.d.
constexpr quint8 MappedIpv4Prefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
constexpr int ReaderNice = -10;

void writeMappedIpv4(quint8 *address, const in_addr &ipv4)
{
    std::memcpy(address, MappedIpv4Prefix, sizeof MappedIpv4Prefix);
    std::memcpy(address + sizeof MappedIpv4Prefix, &ipv4, sizeof ipv4);
}

} // namespace

struct SocketBatchReader::Platform {
    ~Platform()
    {
        delete notifier;
        if (descriptor >= 0)
            close(descriptor);
    }

    int descriptor = -1;
    QSocketNotifier *notifier = nullptr;
    quint32 lastDropCount = 0;
    bool dropCountSeen = false;

    mmsghdr messages[Slots];
    iovec vectors[Slots][2];
    sockaddr_in6 senders[Slots];
    alignas(cmsghdr) char control[Slots][ControlBytes];
    char heads[Slots][HeadBytes];
    // Left uninitialised: the system maps its pages only once a datagram longer than a slot's head is written.
    std::unique_ptr<char[]> tails {new char[size_t(Slots) * TailBytes]};
};

SocketBatchReader::SocketBatchReader()
    : platform(new Platform)
{
    Platform &b = *platform;
    std::memset(b.messages, 0, sizeof b.messages);
    for (int i = 0; i < Slots; ++i) {
        b.vectors[i][0] = {b.heads[i], HeadBytes};
        b.vectors[i][1] = {b.tails.get() + size_t(i) * TailBytes, TailBytes};
        msghdr &header = b.messages[i].msg_hdr;
        header.msg_name = &b.senders[i];
        header.msg_iov = b.vectors[i];
        header.msg_iovlen = 2;
        header.msg_control = b.control[i];
    }
}

SocketBatchReader::~SocketBatchReader() = default;

bool SocketBatchReader::countsDrops()
{
    return true;
}

void SocketBatchReader::raiseThreadPriority()
{
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), ReaderNice);
}

bool SocketBatchReader::attach(QUdpSocket *socket, std::function<void()> ready, QString *error)
{
    Platform &b = *platform;
    // Reads go past Qt straight to the socket, through a descriptor of its own. Qt's notifier on the socket
    // announces data once more that nobody reads through Qt, then stays off for good.
    b.descriptor = fcntl(int(socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
    if (b.descriptor < 0) {
        if (error)
            *error = qt_error_string(errno);
        return false;
    }
    const int on = 1;
    // The adapter of arrival, for a dual-stack socket also for IPv4 senders, and the drop count.
    setsockopt(b.descriptor, IPPROTO_IPV6, IPV6_RECVPKTINFO, &on, sizeof on);
    setsockopt(b.descriptor, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
    b.notifier = new QSocketNotifier(b.descriptor, QSocketNotifier::Read);
    QObject::connect(b.notifier, &QSocketNotifier::activated, std::move(ready));
    return true;
}

void SocketBatchReader::hold(bool held)
{
    // The notifier reports a waiting datagram as long as one waits, so enabling it again is enough.
    if (platform->notifier)
        platform->notifier->setEnabled(!held);
}

int SocketBatchReader::read()
{
    Platform &b = *platform;
    const int descriptor = b.descriptor;
    for (int i = 0; i < Slots; ++i) {
        msghdr &header = b.messages[i].msg_hdr;
        header.msg_namelen = sizeof(sockaddr_in6);
        header.msg_controllen = ControlBytes;
        header.msg_flags = 0;
    }
    int count = 0;
    do {
        count = recvmmsg(descriptor, b.messages, Slots, MSG_DONTWAIT, nullptr);
    } while (count < 0 && errno == EINTR);
    if (count < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;

    for (int i = 0; i < count; ++i) {
        const msghdr &header = b.messages[i].msg_hdr;
        ArrivedDatagram &datagram = arrived[i];
        datagram.length = int(qMin<unsigned>(b.messages[i].msg_len, LargestDatagram));
        datagram.interfaceIndex = 0;
        datagram.hasDestination = false;
        const sockaddr_in6 &sender = b.senders[i];
        if (sender.sin6_family == AF_INET6) {
            std::memcpy(datagram.sender, &sender.sin6_addr, sizeof datagram.sender);
            datagram.senderPort = ntohs(sender.sin6_port);
            datagram.senderScopeId = sender.sin6_scope_id;
        } else if (sender.sin6_family == AF_INET) {
            // Not on a dual-stack socket, but said the same way.
            const auto &ipv4 = reinterpret_cast<const sockaddr_in &>(sender);
            writeMappedIpv4(datagram.sender, ipv4.sin_addr);
            datagram.senderPort = ntohs(ipv4.sin_port);
            datagram.senderScopeId = 0;
        }
        for (cmsghdr *report = CMSG_FIRSTHDR(&header); report;
             report = CMSG_NXTHDR(const_cast<msghdr *>(&header), report)) {
            if (report->cmsg_level == IPPROTO_IPV6 && report->cmsg_type == IPV6_PKTINFO
                && report->cmsg_len >= CMSG_LEN(sizeof(in6_pktinfo))) {
                in6_pktinfo info;
                std::memcpy(&info, CMSG_DATA(report), sizeof info);
                datagram.interfaceIndex = int(info.ipi6_ifindex);
                std::memcpy(datagram.destination, &info.ipi6_addr, sizeof datagram.destination);
                datagram.hasDestination = true;
            } else if (report->cmsg_level == IPPROTO_IP && report->cmsg_type == IP_PKTINFO
                       && report->cmsg_len >= CMSG_LEN(sizeof(in_pktinfo))) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(report), sizeof info);
                datagram.interfaceIndex = info.ipi_ifindex;
                writeMappedIpv4(datagram.destination, info.ipi_addr);
                datagram.hasDestination = true;
            } else if (report->cmsg_level == SOL_SOCKET && report->cmsg_type == SO_RXQ_OVFL
                       && report->cmsg_len >= CMSG_LEN(sizeof(quint32))) {
                // The socket's drop count when this datagram was queued; the last of the batch is the newest.
                std::memcpy(&b.lastDropCount, CMSG_DATA(report), sizeof b.lastDropCount);
                b.dropCountSeen = true;
            }
        }
    }
    return count;
}

const char *SocketBatchReader::head(int i) const
{
    return platform->heads[i];
}

int SocketBatchReader::headBytes(int i) const
{
    return qMin(arrived[i].length, HeadBytes);
}

const char *SocketBatchReader::tail(int i) const
{
    return platform->tails.get() + size_t(i) * TailBytes;
}

bool SocketBatchReader::dropCount(quint32 *count) const
{
    *count = platform->lastDropCount;
    return platform->dropCountSeen;
}

// The system keeps one count per socket, reported with each datagram queued after a drop and readable at any
// time; asking now also counts drops after the last datagram that arrived.
bool SocketBatchReader::currentDropCount(quint32 *count) const
{
    const int descriptor = platform->descriptor;
    if (descriptor < 0)
        return false;
    quint32 memory[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof memory;
    if (getsockopt(descriptor, SOL_SOCKET, SO_MEMINFO, memory, &length) != 0
        || length < (SK_MEMINFO_DROPS + 1) * sizeof(quint32))
        return false;
    *count = memory[SK_MEMINFO_DROPS];
    return true;
}
