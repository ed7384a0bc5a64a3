#include "framechecksum.h"
#include "frameconstants.h"

#include <QtTest>

namespace {

// CRC-16/MODBUS bit by bit, straight from its definition (reflected polynomial 0xA001, initial value 0xFFFF, no
// final exclusive-or): the oracle the checksum is held against, itself held against the published check value.
quint16 referenceChecksum(const QByteArray &data)
{
    quint16 crc = 0xFFFF;
    for (const char byte : data) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

} // namespace

class TestFrameChecksum : public QObject
{
    Q_OBJECT

private slots:
    void publishedCheckValues_data();
    void publishedCheckValues();
    void storesLowByteFirst();
    void storeLeavesShortFrameAlone();
    void validation_data();
    void validation();
};

void TestFrameChecksum::publishedCheckValues_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<quint16>("checksum");

    // The CRC-16/MODBUS check value, and two Modbus RTU requests whose CRC bytes are published with them.
    QTest::newRow("check value 123456789") << QByteArray("123456789") << quint16(0x4B37);
    QTest::newRow("read 10 holding registers") << QByteArray::fromHex("01030000000A") << quint16(0xCDC5);
    QTest::newRow("read 1 holding register") << QByteArray::fromHex("010300000001") << quint16(0x0A84);
    QTest::newRow("nothing gives the initial value") << QByteArray() << quint16(0xFFFF);
}

void TestFrameChecksum::publishedCheckValues()
{
    QFETCH(QByteArray, data);
    QFETCH(quint16, checksum);
    QCOMPARE(frameChecksum(data.constData(), data.size()), checksum);
}

void TestFrameChecksum::storesLowByteFirst()
{
    QCOMPARE(referenceChecksum("123456789"), quint16(0x4B37));
    // "123456789" padded to 50 bytes is not the check value: the reference computes the bytes 0-49 only.
    QByteArray frame(FrameSize, '\0');
    frame.replace(0, 9, "123456789");
    frame[ChecksumOffset + 5] = 0x77; // filler must stay untouched
    const quint16 expected = referenceChecksum(frame.left(ChecksumOffset));
    QVERIFY((expected & 0xFF) != (expected >> 8));

    storeFrameChecksum(frame);
    QCOMPARE(frame.size(), FrameSize);
    QCOMPARE(quint8(frame[ChecksumOffset]), quint8(expected & 0xFF));
    QCOMPARE(quint8(frame[ChecksumOffset + 1]), quint8(expected >> 8));
    QCOMPARE(quint8(frame[ChecksumOffset + 5]), quint8(0x77));

    // A Modbus request with its CRC appended has a residue of zero: the same low-byte-first order.
    QByteArray request = QByteArray::fromHex("01030000000A");
    const quint16 crc = frameChecksum(request.constData(), request.size());
    request.append(char(crc & 0xFF)).append(char(crc >> 8));
    QCOMPARE(request.toHex(), QByteArray("01030000000ac5cd"));
    QCOMPARE(frameChecksum(request.constData(), request.size()), quint16(0));
}

void TestFrameChecksum::storeLeavesShortFrameAlone()
{
    QByteArray frame(ChecksumOffset + 1, 'x');
    const QByteArray before = frame;
    storeFrameChecksum(frame);
    QCOMPARE(frame, before);
}

void TestFrameChecksum::validation_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("valid");

    QByteArray good(FrameSize, '\0');
    for (int i = 0; i < ChecksumOffset; ++i)
        good[i] = char(i * 7 + 3);
    const quint16 checksum = referenceChecksum(good.left(ChecksumOffset));
    good[ChecksumOffset] = char(checksum & 0xFF);
    good[ChecksumOffset + 1] = char(checksum >> 8);
    QVERIFY(good[ChecksumOffset] != good[ChecksumOffset + 1]); // otherwise swapping would change nothing

    QByteArray swapped = good;
    swapped[ChecksumOffset] = good[ChecksumOffset + 1];
    swapped[ChecksumOffset + 1] = good[ChecksumOffset];
    QByteArray bodyChanged = good;
    bodyChanged[21] = char(bodyChanged[21] ^ 0x01);
    QByteArray fillerChanged = good;
    fillerChanged[FillerOffset + 3] = char(0x5A);
    // One checksum byte wrong at a time: a check of only one of them passes the other.
    QByteArray lowByteWrong = good;
    lowByteWrong[ChecksumOffset] = char(lowByteWrong[ChecksumOffset] ^ 0x01);
    QByteArray highByteWrong = good;
    highByteWrong[ChecksumOffset + 1] = char(highByteWrong[ChecksumOffset + 1] ^ 0x80);

    QTest::newRow("stored checksum") << good << true;
    QTest::newRow("filler is not covered") << fillerChanged << true;
    QTest::newRow("high byte first") << swapped << false;
    QTest::newRow("body byte changed") << bodyChanged << false;
    QTest::newRow("only the low checksum byte wrong") << lowByteWrong << false;
    QTest::newRow("only the high checksum byte wrong") << highByteWrong << false;
    QTest::newRow("63 bytes") << good.left(FrameSize - 1) << false;
    QTest::newRow("65 bytes") << QByteArray(good).append('\0') << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestFrameChecksum::validation()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, valid);
    QCOMPARE(hasValidFrameChecksum(frame), valid);
}

QTEST_GUILESS_MAIN(TestFrameChecksum)
#include "tst_framechecksum.moc"
