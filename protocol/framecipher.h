#pragma once

#include <QtGlobal>

// AES-128-CBC over whole frames: the IV is all zero and restarts with every
// frame, there is no padding, and the frame is transformed in place. One key,
// shared with the module firmware, serves both directions. Every call derives
// its tables and key schedule afresh in static storage, so the functions are
// not re-entrant and belong to one thread. Until setFrameKey runs the key is
// all zero. Only whole 16-byte blocks are transformed: a shorter tail (a
// length that is not a multiple of 16) is left as it is.

void setFrameKey(const quint8 *key); // 16 bytes
void encryptFrame(quint8 *frame, quint16 length);
void decryptFrame(quint8 *frame, quint16 length);
