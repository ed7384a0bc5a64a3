#pragma once

#include <QtGlobal>

// The UDP channel the tool and the modules share, and the fixed places in a
// 64-byte frame that both directions agree on.
constexpr quint16 DevicePort = 1500;
constexpr char BroadcastAddress[] = "255.255.255.255";
constexpr char DiscoveryRequest[] = "FFFF"; // sent as its 4 ASCII bytes, unencrypted
constexpr int DiscoveryRequestSize = 4;

constexpr int FrameSize = 64;
constexpr int MacOffset = 0;
constexpr int MacSize = 6;
constexpr int MarkerOffset = 6;
constexpr int MarkerSize = 4;
constexpr char ConfigMarker[] = "1111"; // bytes 6-9 of a configuration frame
constexpr int NameOffset = 10;
constexpr int NameSize = 10;
constexpr int ChecksumOffset = 50; // covers bytes 0-49, stored low byte first
constexpr int FillerOffset = 52;
constexpr int FillerSize = 12;
