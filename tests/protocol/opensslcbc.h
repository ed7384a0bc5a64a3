#pragma once

#include <QByteArray>

#include <openssl/evp.h>

#include <memory>

// AES-128-CBC as OpenSSL computes it, with a zero IV and no padding: the
// independent reference our frame cipher is held against. Returns an empty
// array if OpenSSL refuses (a key that is not 16 bytes, a partial block).
inline QByteArray opensslCbc(const QByteArray &key, const QByteArray &data, bool encrypt)
{
    if (key.size() != 16 || data.size() % 16 != 0)
        return {};
    const std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(),
                                                                                  &EVP_CIPHER_CTX_free);
    const unsigned char iv[16] = {};
    if (!context
        || EVP_CipherInit_ex(context.get(), EVP_aes_128_cbc(), nullptr,
                             reinterpret_cast<const unsigned char *>(key.constData()), iv, encrypt ? 1 : 0)
            != 1
        || EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1)
        return {};
    QByteArray out(data.size() + 16, '\0');
    int written = 0;
    int finalWritten = 0;
    if (EVP_CipherUpdate(context.get(), reinterpret_cast<unsigned char *>(out.data()), &written,
                         reinterpret_cast<const unsigned char *>(data.constData()), data.size())
            != 1
        || EVP_CipherFinal_ex(context.get(), reinterpret_cast<unsigned char *>(out.data()) + written, &finalWritten)
            != 1)
        return {};
    out.resize(written + finalWritten);
    return out;
}

inline quint8 *frameBytes(QByteArray &frame)
{
    return reinterpret_cast<quint8 *>(frame.data());
}
