#pragma once

#include <QtGlobal>

// A segment full of modules answering at once, as seen from the wire: distinct replies from port 1500 of another
// host, `rate` per second, paced by sleeping to fixed deadlines as a network card's queue would release them, not
// by a busy core; rate 0 sends as fast as one process can. The replies are made first; then it prints "ready",
// and for each line on its standard input sends them all and prints "sent <count> seconds <s>", until the input
// ends.
// Exit status 0 when everything was handed to the system.
int runPacedSender(int replies, int rate);

// Where the paced sender sends from (the namespace's second address) and to (the tool's address).
constexpr char PacedSenderAddress[] = "10.231.0.2";
constexpr char PacedReceiverAddress[] = "10.231.0.1";
// The first MAC address of the paced replies; distinct from the simulator's and the receive path's.
constexpr quint64 PacedFirstMac = Q_UINT64_C(0x02BE00000000);
