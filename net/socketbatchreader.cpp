#include "socketbatchreader.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>

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

void writeMappedIpv4(quint8 *address, const in_addr &ipv4)
{
    std::memcpy(address, MappedIpv4Prefix, sizeof MappedIpv4Prefix);
    std::memcpy(address + sizeof MappedIpv4Prefix, &ipv4, sizeof ipv4);
}

} // namespace

struct SocketBatchReader::Buffers {
    mmsghdr messages[Slots];
    iovec vectors[Slots][2];
    sockaddr_in6 senders[Slots];
    alignas(cmsghdr) char control[Slots][ControlBytes];
    char heads[Slots][HeadBytes];
    // Left uninitialised: the system maps its pages only once a datagram longer than a slot's head is written.
    std::unique_ptr<char[]> tails {new char[size_t(Slots) * TailBytes]};
};

SocketBatchReader::SocketBatchReader()
    : buffers(new Buffers)
{
    Buffers &b = *buffers;
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

bool SocketBatchReader::enableReports(int descriptor)
{
    const int on = 1;
    // The adapter of arrival, for a dual-stack socket also for IPv4 senders.
    setsockopt(descriptor, IPPROTO_IPV6, IPV6_RECVPKTINFO, &on, sizeof on);
    return setsockopt(descriptor, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on) == 0;
}

int SocketBatchReader::read(int descriptor)
{
    Buffers &b = *buffers;
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
                std::memcpy(&lastDropCount, CMSG_DATA(report), sizeof lastDropCount);
                dropCountSeen = true;
            }
        }
    }
    return count;
}

const char *SocketBatchReader::head(int i) const
{
    return buffers->heads[i];
}

int SocketBatchReader::headBytes(int i) const
{
    return qMin(arrived[i].length, HeadBytes);
}

const char *SocketBatchReader::tail(int i) const
{
    return buffers->tails.get() + size_t(i) * TailBytes;
}

bool SocketBatchReader::dropCount(quint32 *count) const
{
    *count = lastDropCount;
    return dropCountSeen;
}
