#include "framecosts.h"

#include "benchclock.h"
#include "framechecksum.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "replydatagrams.h"
#include "replyframe.h"

#include <QVector>

#include <openssl/evp.h>

#include <cstring>
#include <memory>

namespace {

constexpr int Frames = 256;
constexpr int Rounds = 201;
constexpr quint64 FirstMac = Q_UINT64_C(0x02BE00000000);

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

// One frame the way a caller of OpenSSL restarts the IV for every frame: the key and the zero IV are set again
// (so the key schedule is redone, as the frame cipher does too), then the four blocks go through.
bool opensslFrame(EVP_CIPHER_CTX *context, const QByteArray &key, const quint8 *in, quint8 *out, bool encrypt)
{
    static const unsigned char zeroIv[16] = {};
    int written = 0;
    int finalWritten = 0;
    return EVP_CipherInit_ex(context, nullptr, nullptr, reinterpret_cast<const unsigned char *>(key.constData()),
                             zeroIv, encrypt ? 1 : 0)
        == 1
        && EVP_CipherUpdate(context, out, &written, in, FrameSize) == 1
        && EVP_CipherFinal_ex(context, out + written, &finalWritten) == 1 && written + finalWritten == FrameSize;
}

const quint8 *bytesOf(const QByteArray &frame)
{
    return reinterpret_cast<const quint8 *>(frame.constData());
}

} // namespace

bool measureFrameCosts(const QByteArray &key, FrameCosts *costs, QString *error)
{
    CipherContext context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!context || EVP_CipherInit_ex(context.get(), EVP_aes_128_cbc(), nullptr, nullptr, nullptr, 1) != 1
        || EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1) {
        *error = QStringLiteral("OpenSSL offers no AES-128-CBC");
        return false;
    }

    QVector<QByteArray> plain;
    QVector<QByteArray> encrypted;
    for (int i = 0; i < Frames; ++i) {
        plain.append(plainReply(FirstMac + quint64(i)));
        encrypted.append(encryptedReply(FirstMac + quint64(i)));
    }

    // A fast wrong answer is no answer: both sides must agree on every frame first.
    quint8 buffer[FrameSize];
    for (int i = 0; i < Frames; ++i) {
        if (!opensslFrame(context.get(), key, bytesOf(plain.at(i)), buffer, true)
            || std::memcmp(buffer, encrypted.at(i).constData(), FrameSize) != 0) {
            *error = QStringLiteral("encryptFrame and OpenSSL differ on frame %1").arg(i);
            return false;
        }
        if (!opensslFrame(context.get(), key, bytesOf(encrypted.at(i)), buffer, false)
            || std::memcmp(buffer, plain.at(i).constData(), FrameSize) != 0) {
            *error = QStringLiteral("OpenSSL does not decrypt frame %1 to its plain reply").arg(i);
            return false;
        }
    }

    // Each timed call starts from a copy of its frame, so every call sees a real reply; the copy is 64 bytes,
    // and OpenSSL pays the same by writing to a second buffer.
    quint32 sink = 0;
    const QString sourceIp = QStringLiteral("10.231.0.7");
    SideBySide timer;
    const int decrypt = timer.add([&](long i) {
        std::memcpy(buffer, encrypted.at(int(i % Frames)).constData(), FrameSize);
        decryptFrame(buffer, FrameSize);
        sink += buffer[0];
    });
    const int encrypt = timer.add([&](long i) {
        std::memcpy(buffer, plain.at(int(i % Frames)).constData(), FrameSize);
        encryptFrame(buffer, FrameSize);
        sink += buffer[0];
    });
    const int opensslDecrypt = timer.add([&](long i) {
        opensslFrame(context.get(), key, bytesOf(encrypted.at(int(i % Frames))), buffer, false);
        sink += buffer[0];
    });
    const int opensslEncrypt = timer.add([&](long i) {
        opensslFrame(context.get(), key, bytesOf(plain.at(int(i % Frames))), buffer, true);
        sink += buffer[0];
    });
    const int checksum
        = timer.add([&](long i) { sink += frameChecksum(plain.at(int(i % Frames)).constData(), ChecksumOffset); });
    const int decode = timer.add(
        [&](long i) { sink += uint(decodeDeviceReply(plain.at(int(i % Frames)), sourceIp).macAddress.size()); });
    timer.run(Rounds);

    costs->decryptFrame = timer.medianMicroseconds(decrypt);
    costs->encryptFrame = timer.medianMicroseconds(encrypt);
    costs->opensslDecrypt = timer.medianMicroseconds(opensslDecrypt);
    costs->opensslEncrypt = timer.medianMicroseconds(opensslEncrypt);
    costs->checksum = timer.medianMicroseconds(checksum);
    costs->decode = timer.medianMicroseconds(decode);
    keepResult(sink);
    return true;
}
