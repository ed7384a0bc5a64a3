#pragma once

#include <QtGlobal>

// A flood of noise on the device port: distinct random 64-byte datagrams from port 1500 of another host (the
// paced sender's address) to the tool's address, as fast as one process can send, until `seconds` have passed or
// `most` datagrams went out, whichever comes first. Prints "flood sent <count> seconds <s>" at the end.
// Exit status 0 when the flood ran its course.
int runFloodSender(double seconds, qint64 most);
