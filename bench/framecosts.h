#pragma once

#include <QByteArray>
#include <QString>

// Microseconds per 64-byte frame, medians.
struct FrameCosts {
    double decryptFrame = 0;
    double encryptFrame = 0;
    double opensslDecrypt = 0; // AES-128-CBC through EVP: key, zero IV, no padding, for every frame
    double opensslEncrypt = 0;
    double checksum = 0; // frameChecksum over bytes 0-49
    double decode = 0; // decodeDeviceReply of a plain reply
};

// Times the frame work on the same set of replies for each function. `key` must be the installed frame key:
// before timing, OpenSSL has to give the same bytes as the frame cipher in both directions, otherwise nothing is
// timed and the reason is returned.
bool measureFrameCosts(const QByteArray &key, FrameCosts *costs, QString *error);
