#include "configframe.h"
#include "factorydefaults.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "framekey.h"
#include "hexfixture.h"
#include "opensslcbc.h"
#include "receivefilter.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

constexpr int BlockSize = 16;
constexpr quint32 RandomSeed = 20240611;

QByteArray randomBytes(QRandomGenerator &random, int size)
{
    QByteArray bytes(size, '\0');
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

void installKey(const QByteArray &key)
{
    setFrameKey(reinterpret_cast<const quint8 *>(key.constData()));
}

QByteArray encrypted(QByteArray data, int length)
{
    encryptFrame(frameBytes(data), quint16(length));
    return data;
}

QByteArray decrypted(QByteArray data, int length)
{
    decryptFrame(frameBytes(data), quint16(length));
    return data;
}

// The key the build was configured with, i.e. the modules' key; the placeholder unless the builder named another.
QByteArray configuredKey()
{
    return QByteArray::fromHex(KESTREL_FRAME_KEY_TEXT);
}

} // namespace

// The key store is static and shared by the whole process: the test that needs
// the untouched all-zero key comes first, every later test installs its own key.
class TestFrameCipher : public QObject
{
    Q_OBJECT

private slots:
    void zeroKeyBeforeInstall();
    void publishedVectors_data();
    void publishedVectors();
    void matchesOpenSsl_data();
    void matchesOpenSsl();
    void alternatingDirections();
    void emptyLengthLeavesBufferUntouched();
    void changedCiphertextByte_data();
    void changedCiphertextByte();
    void partialBlockLeftUntouched_data();
    void partialBlockLeftUntouched();
    void hugeLengthStaysInBounds_data();
    void hugeLengthStaysInBounds();
    void builtInKeyReadsAModulesReply();
    void builtInKeyWritesWhatAModuleReads();
};

void TestFrameCipher::zeroKeyBeforeInstall()
{
    const QByteArray zeroKey(16, '\0');
    QRandomGenerator random(RandomSeed);
    const QByteArray frame = randomBytes(random, 64);
    QCOMPARE(encrypted(frame, frame.size()), opensslCbc(zeroKey, frame, true));
    QCOMPARE(decrypted(frame, frame.size()), opensslCbc(zeroKey, frame, false));
}

void TestFrameCipher::publishedVectors_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipher");

    // With one block and a zero IV, CBC is the bare block cipher.
    QTest::newRow("FIPS-197 C.1") << QByteArray::fromHex("000102030405060708090a0b0c0d0e0f")
                                  << QByteArray::fromHex("00112233445566778899aabbccddeeff")
                                  << QByteArray::fromHex("69c4e0d86a7b0430d8cdb78070b4c55a");
    QTest::newRow("FIPS-197 B") << QByteArray::fromHex("2b7e151628aed2a6abf7158809cf4f3c")
                                << QByteArray::fromHex("3243f6a8885a308d313198a2e0370734")
                                << QByteArray::fromHex("3925841d02dc09fbdc118597196a0b32");

    // SP 800-38A F.2.1 (CBC-AES128, IV 000102..0F). Under a zero IV the same
    // ciphertext comes from the first plaintext block XORed with that IV.
    QByteArray plain = QByteArray::fromHex("6bc1bee22e409f96e93d7e117393172a"
                                           "ae2d8a571e03ac9c9eb76fac45af8e51"
                                           "30c81c46a35ce411e5fbc1191a0a52ef"
                                           "f69f2445df4f9b17ad2b417be66c3710");
    for (int i = 0; i < BlockSize; ++i)
        plain[i] = char(plain[i] ^ i);
    QTest::newRow("SP 800-38A F.2.1, four blocks") << QByteArray::fromHex("2b7e151628aed2a6abf7158809cf4f3c") << plain
                                                   << QByteArray::fromHex("7649abac8119b246cee98e9b12e9197d"
                                                                          "5086cb9b507219ee95db113a917678b2"
                                                                          "73bed6b8e3c1743b7116e69e22229516"
                                                                          "3ff1caa1681fac09120eca307586e1a7");
}

void TestFrameCipher::publishedVectors()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipher);
    installKey(key);
    QCOMPARE(encrypted(plain, plain.size()).toHex(), cipher.toHex());
    QCOMPARE(decrypted(cipher, cipher.size()).toHex(), plain.toHex());
}

void TestFrameCipher::matchesOpenSsl_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("one block") << 16;
    QTest::newRow("two blocks") << 32;
    QTest::newRow("frame") << 64;
    QTest::newRow("1 KiB") << 1024;
}

void TestFrameCipher::matchesOpenSsl()
{
    QFETCH(int, length);
    QRandomGenerator random(RandomSeed + quint32(length));
    for (int round = 0; round < 64; ++round) {
        const QByteArray key = randomBytes(random, 16);
        const QByteArray data = randomBytes(random, length);
        installKey(key);
        const QByteArray ours = encrypted(data, length);
        QCOMPARE(ours, opensslCbc(key, data, true));
        QCOMPARE(decrypted(data, length), opensslCbc(key, data, false));
        QCOMPARE(decrypted(ours, length), data);
        QCOMPARE(encrypted(decrypted(data, length), length), data);
    }
}

void TestFrameCipher::alternatingDirections()
{
    // Each call rebuilds the tables it needs, whatever the previous call left behind.
    QRandomGenerator random(RandomSeed);
    const QByteArray key = randomBytes(random, 16);
    installKey(key);
    for (int call = 0; call < 200; ++call) {
        const bool encrypt = call < 3 ? call != 1 : random.bounded(2) == 1; // enc, dec, enc, then at random
        const QByteArray frame = randomBytes(random, 64);
        const QByteArray ours = encrypt ? encrypted(frame, frame.size()) : decrypted(frame, frame.size());
        QCOMPARE(ours, opensslCbc(key, frame, encrypt));
    }
}

void TestFrameCipher::emptyLengthLeavesBufferUntouched()
{
    QRandomGenerator random(RandomSeed);
    installKey(randomBytes(random, 16));
    const QByteArray frame = randomBytes(random, 64);
    QCOMPARE(encrypted(frame, 0), frame);
    QCOMPARE(decrypted(frame, 0), frame);
}

void TestFrameCipher::changedCiphertextByte_data()
{
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("offset");
    QTest::addColumn<quint8>("mask");
    QTest::newRow("first block, one bit") << 0 << 0 << quint8(0x01);
    QTest::newRow("second block, top bit") << 1 << 7 << quint8(0x80);
    QTest::newRow("third block, whole byte") << 2 << 15 << quint8(0xFF);
    QTest::newRow("last block, nothing follows") << 3 << 4 << quint8(0x24);
}

void TestFrameCipher::changedCiphertextByte()
{
    QFETCH(int, block);
    QFETCH(int, offset);
    QFETCH(quint8, mask);
    QRandomGenerator random(RandomSeed);
    installKey(randomBytes(random, 16));
    const QByteArray plain = randomBytes(random, 64);
    QByteArray wire = encrypted(plain, plain.size());
    const int position = block * BlockSize + offset;
    wire[position] = char(wire[position] ^ mask);
    const QByteArray garbled = decrypted(wire, wire.size());

    for (int b = 0; b < 4; ++b) {
        const QByteArray got = garbled.mid(b * BlockSize, BlockSize);
        const QByteArray want = plain.mid(b * BlockSize, BlockSize);
        if (b == block) {
            QVERIFY2(got != want, "a changed ciphertext block must decrypt differently");
        } else if (b == block + 1) {
            QByteArray flipped = want;
            flipped[offset] = char(flipped[offset] ^ mask);
            QCOMPARE(got.toHex(), flipped.toHex());
        } else {
            QCOMPARE(got.toHex(), want.toHex());
        }
    }
}

void TestFrameCipher::partialBlockLeftUntouched_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("1") << 1;
    QTest::newRow("15") << 15;
    QTest::newRow("17") << 17;
    QTest::newRow("63") << 63;
    QTest::newRow("65") << 65;
    QTest::newRow("100") << 100;
}

void TestFrameCipher::partialBlockLeftUntouched()
{
    QFETCH(int, length);
    constexpr int Guard = 32;
    QRandomGenerator random(RandomSeed + quint32(length));
    const QByteArray key = randomBytes(random, 16);
    installKey(key);
    const QByteArray buffer = randomBytes(random, length + Guard);
    const int whole = length - length % BlockSize;

    for (const bool encrypt : {true, false}) {
        const QByteArray ours = encrypt ? encrypted(buffer, length) : decrypted(buffer, length);
        QCOMPARE(ours.size(), buffer.size());
        if (whole > 0)
            QCOMPARE(ours.left(whole), opensslCbc(key, buffer.left(whole), encrypt));
        QCOMPARE(ours.mid(whole), buffer.mid(whole)); // the tail and the guard bytes
    }
}

void TestFrameCipher::hugeLengthStaysInBounds_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("65535") << 65535;
    QTest::newRow("65534") << 65534;
    QTest::newRow("65521") << 65521;
    QTest::newRow("65520, whole blocks") << 65520;
}

void TestFrameCipher::hugeLengthStaysInBounds()
{
    // A 16-bit block offset would wrap before reaching these lengths and walk on forever.
    QFETCH(int, length);
    constexpr int Guard = 64;
    QRandomGenerator random(RandomSeed);
    const QByteArray key = randomBytes(random, 16);
    installKey(key);
    const QByteArray buffer = randomBytes(random, length + Guard);
    const int whole = length - length % BlockSize;

    for (const bool encrypt : {true, false}) {
        const QByteArray ours = encrypt ? encrypted(buffer, length) : decrypted(buffer, length);
        QCOMPARE(ours.size(), buffer.size());
        QVERIFY(ours.left(whole) == opensslCbc(key, buffer.left(whole), encrypt));
        QCOMPARE(ours.mid(whole), buffer.mid(whole));
    }
}

void TestFrameCipher::builtInKeyReadsAModulesReply()
{
    // What a program that was given no key does with a module's reply: install the built-in key and run the
    // receive filter. The wire fixture was made with the openssl command under the placeholder key, so it is a
    // known answer for the default build; a build for other modules gets its wire frame from OpenSSL instead.
    const QByteArray PlaceholderKey = QByteArray::fromHex("2B7E151628AED2A6ABF7158809CF4F3C");
    const QByteArray plain = readHexFixture(QFINDTESTDATA("../data/factory-reply.hex"));
    QCOMPARE(plain.size(), FrameSize);
    const QByteArray wire = configuredKey() == PlaceholderKey
        ? readHexFixture(QFINDTESTDATA("../data/factory-reply.wire.hex"))
        : opensslCbc(configuredKey(), plain, true);
    QCOMPARE(wire.size(), FrameSize);

    setFrameKey(BuiltInFrameKey);
    const ReceivedDatagram received = classifyDatagram(wire, DevicePort);
    QCOMPARE(int(received.kind), int(DatagramKind::Reply));
    QCOMPARE(received.plainFrame.toHex(), plain.toHex());
}

void TestFrameCipher::builtInKeyWritesWhatAModuleReads()
{
    // A module holding the configured key decrypts our configuration frame (OpenSSL standing in for it).
    DeviceRecord record = factoryDefaultRecord();
    record.macAddress = QStringLiteral("001A2B3C4D5E");
    const QByteArray filler = QByteArray::fromHex("0102030405060708090A0B0C");

    setFrameKey(BuiltInFrameKey);
    const ConfigFrame frame = buildConfigFrame(record, filler);
    QCOMPARE(frame.bytes.size(), FrameSize);
    QCOMPARE(opensslCbc(configuredKey(), frame.bytes, false).toHex(), layoutConfigFrame(record, filler).toHex());
}

QTEST_GUILESS_MAIN(TestFrameCipher)
#include "tst_framecipher.moc"
