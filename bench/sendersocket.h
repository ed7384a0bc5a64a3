#pragma once

#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>

// The socket the bench's senders play modules from: port 1500 of the namespace's second address, shared with the
// tool that holds port 1500 too. *to is the tool's address. Returns -1 (and says why on stderr, naming `who`) when
// the socket cannot be had.
int openSenderSocket(const char *who, sockaddr_in *to);

// Sends messages [first, first + count) to wherever each names (or the connected address); false on a failure other
// than a full queue, which is retried.
bool sendAll(int socket, mmsghdr *messages, int first, int count);

double secondsSince(const timespec &start);
