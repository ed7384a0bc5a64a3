#pragma once

#include <QtGlobal>

// The UDP channel the tool and the modules share, and every place in a 64-byte frame: the identity and marker
// at the front, the settings that replies and configuration frames carry alike from byte 10 on, the checksum
// and the filler.
constexpr quint16 DevicePort = 1500;
constexpr char BroadcastAddress[] = "255.255.255.255";
constexpr char DiscoveryRequest[] = "FFFF"; // sent as its 4 ASCII bytes, unencrypted
constexpr int DiscoveryRequestSize = 4;

// clang-format off
constexpr int FrameSize        = 64;
constexpr int MacOffset        = 0;
constexpr int MacSize          = 6;
constexpr int MacDigits        = 2 * MacSize; // a MAC as text: 12 hexadecimal digits, no separators
constexpr int VersionOffset    = 6;  // replies: 2 bytes, one nibble per version number
constexpr int MarkerOffset     = 6;  // configuration frames: the marker instead of the version
constexpr int MarkerSize       = 4;
constexpr char ConfigMarker[]  = "1111"; // bytes 6-9 of a configuration frame
constexpr int NameOffset       = 10;
constexpr int NameSize         = 10;
constexpr int IpTypeOffset     = 20; // bit 0
constexpr int WorkModeOffset   = 21; // bits 0-1
constexpr int SubnetMaskOffset = 22; // addresses: 4 bytes, last octet first
constexpr int GatewayOffset    = 26;
constexpr int LocalIpOffset    = 30;
constexpr int LocalPortOffset  = 34; // 16-bit, low byte first
constexpr int RemoteIpOffset   = 36;
constexpr int RemotePortOffset = 40;
constexpr int BaudRateOffset   = 42; // 24-bit, low byte first
constexpr int LineFormatOffset = 45; // like a 16550 line control register
constexpr int ModbusOffset     = 48; // bit 0
constexpr int ParametersEnd    = 50; // bytes 46, 47 and 49 stay zero
constexpr int ChecksumOffset   = 50; // covers bytes 0-49, stored low byte first
constexpr int FillerOffset     = 52;
constexpr int FillerSize       = 12;

// The bits of the small settings that travel; the rest of their bytes is ignored on reading and zero on sending.
constexpr quint8 IpTypeMask   = 0x01;
constexpr quint8 WorkModeMask = 0x03;
constexpr quint8 ModbusMask   = 0x01;

// The line-format byte, bit by bit as a 16550 line control register; bits 6-7 are not ours to send.
constexpr quint8 LineFormatMask  = 0x3F;
constexpr quint8 WordLengthMask  = 0x03; // 0: 5 data bits ... 3: 8 data bits
constexpr quint8 WordLengthSeven = 0x02;
constexpr quint8 WordLengthEight = 0x03;
constexpr quint8 TwoStopBitsFlag = 0x04; // 1.5 with 5 data bits
constexpr quint8 ParityMask      = 0x38; // enable, even, stick
constexpr quint8 ParityEnable    = 0x08;
constexpr quint8 EvenParityFlag  = 0x10;
constexpr quint8 StickParityFlag = 0x20;
constexpr quint8 OddParityBits   = ParityEnable;
constexpr quint8 EvenParityBits  = ParityEnable | EvenParityFlag;
constexpr quint8 MarkParityBits  = ParityEnable | StickParityFlag;                  // always 1
constexpr quint8 SpaceParityBits = ParityEnable | EvenParityFlag | StickParityFlag; // always 0
// clang-format on
