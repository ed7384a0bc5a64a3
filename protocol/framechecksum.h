#pragma once

#include <QByteArray>

// CRC-16/MODBUS (reflected 0xA001, initial 0xFFFF, no final xor).
quint16 frameChecksum(const char *data, int length);

// Stores the checksum of bytes 0-49 at bytes 50-51, low byte first (a frame too short to hold it is left alone).
void storeFrameChecksum(QByteArray &frame);

// True when a plain 64-byte frame carries the checksum of its bytes 0-49, low byte first.
bool hasValidFrameChecksum(const QByteArray &frame);
