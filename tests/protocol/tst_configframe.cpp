#include "configframe.h"
#include "factorydefaults.h"
#include "framechecksum.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "opensslcbc.h"
#include "recordgenerator.h"
#include "replyframe.h"

#include <QTime>
#include <QtTest>

Q_DECLARE_METATYPE(ConfigField)

namespace {

const QByteArray TestKey = QByteArray::fromHex("000102030405060708090A0B0C0D0E0F");
const QByteArray CountingFiller = QByteArray::fromHex("0102030405060708090A0B0C");

// The form after "Factory Reset", aimed at module 00:11:AA:BB:CC:DD named ABC.
DeviceRecord factoryForm()
{
    DeviceRecord record = factoryDefaultRecord();
    record.macAddress = QStringLiteral("0011AABBCCDD");
    record.deviceName = QStringLiteral("ABC");
    return record;
}

// The text fields by the name the form gives them.
QString *textField(DeviceRecord &record, const QString &field)
{
    const QHash<QString, QString *> fields = {
        {QStringLiteral("macAddress"), &record.macAddress}, {QStringLiteral("subnetMask"), &record.subnetMask},
        {QStringLiteral("gateway"), &record.gateway},       {QStringLiteral("localIp"), &record.localIp},
        {QStringLiteral("localPort"), &record.localPort},   {QStringLiteral("remoteIp"), &record.remoteIp},
        {QStringLiteral("remotePort"), &record.remotePort}, {QStringLiteral("baudRate"), &record.baudRate},
    };
    return fields.value(field);
}

QString fieldName(ConfigField field)
{
    switch (field) {
    case ConfigField::None:
        return QStringLiteral("None");
    case ConfigField::Target:
        return QStringLiteral("Target");
    case ConfigField::LocalIp:
        return QStringLiteral("LocalIp");
    case ConfigField::SubnetMask:
        return QStringLiteral("SubnetMask");
    case ConfigField::Gateway:
        return QStringLiteral("Gateway");
    case ConfigField::RemoteIp:
        return QStringLiteral("RemoteIp");
    case ConfigField::LocalPort:
        return QStringLiteral("LocalPort");
    case ConfigField::RemotePort:
        return QStringLiteral("RemotePort");
    case ConfigField::BaudRate:
        return QStringLiteral("BaudRate");
    }
    return QStringLiteral("unknown %1").arg(int(field));
}

// The filler Qt's generator gives for one seed, drawn the way the sender draws it.
QByteArray fillerForSeed(uint seed)
{
    QByteArray filler;
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    qsrand(seed);
    qrand();
    for (int i = 0; i < FillerSize; ++i)
        filler.append(char(qrand() % 255));
    QT_WARNING_POP
    return filler;
}

int secondsOfMinuteInMs(const QTime &time)
{
    return time.msec() + 1000 * time.second();
}

} // namespace

class TestConfigFrame : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void workedExample();
    void wholeFrame();
    void lineFormatByte_data();
    void lineFormatByte();
    void lineFormatNotice_data();
    void lineFormatNotice();
    void name_data();
    void name();
    void refusals_data();
    void refusals();
    void refusalOrder();
    void acceptedNumbers_data();
    void acceptedNumbers();
    void smallFieldsKeepLowBits();
    void shortFillerIsZeroPadded();
    void timeSeededFillerNeverFF();
    void timeSeededFillerFollowsTheClock();
    void buildEncryptsTheLayout();
    void buildRefusesInvalidRecord();
    void differentFillerChangesOnlyLastBlock();
    void roundTrip();
};

void TestConfigFrame::initTestCase()
{
    setFrameKey(reinterpret_cast<const quint8 *>(TestKey.constData()));
}

void TestConfigFrame::workedExample()
{
    const QByteArray frame = layoutConfigFrame(factoryForm(), CountingFiller);
    QCOMPARE(frame.mid(20, 30).toHex(' ').toUpper(),
             QByteArray("00 00 00 FF FF FF 01 01 A8 C0 0A 01 A8 C0 D2 04 FE 01 A8 C0 D2 04 80 25 00 03 00 00 00 00"));
}

void TestConfigFrame::wholeFrame()
{
    // MAC, marker "1111", name, the worked example, CRC 0xEA77 low byte first, the filler as given.
    const QByteArray expected = QByteArray::fromHex("0011AABBCCDD31313131414243000000000000000000"
                                                    "00FFFFFF0101A8C00A01A8C0D204FE01A8C0D204802500"
                                                    "030000000077EA0102030405060708090A0B0C");
    const QByteArray frame = layoutConfigFrame(factoryForm(), CountingFiller);
    QCOMPARE(frame.toHex().toUpper(), expected.toHex().toUpper());
    QVERIFY(hasValidFrameChecksum(frame));
    QVERIFY(!isDeviceReply(frame));
}

void TestConfigFrame::lineFormatByte_data()
{
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<quint8>("format");

    QTest::newRow("8N1") << 1 << 0 << 0 << quint8(0x03);
    QTest::newRow("7E1") << 0 << 0 << 2 << quint8(0x1A);
    QTest::newRow("8O2") << 1 << 1 << 1 << quint8(0x0F);
    QTest::newRow("7N1, sent despite the notice") << 0 << 0 << 0 << quint8(0x02);
    QTest::newRow("7N2") << 0 << 1 << 0 << quint8(0x06);
    QTest::newRow("8E2") << 1 << 1 << 2 << quint8(0x1F);
    QTest::newRow("other data index means 8") << 5 << 0 << 0 << quint8(0x03);
    QTest::newRow("other stop index means 1") << 1 << 3 << 0 << quint8(0x03);
    QTest::newRow("other parity index means none") << 1 << 0 << 7 << quint8(0x03);
}

void TestConfigFrame::lineFormatByte()
{
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    QFETCH(int, parity);
    QFETCH(quint8, format);
    DeviceRecord record = factoryForm();
    record.dataBits = dataBits;
    record.stopBits = stopBits;
    record.parity = parity;
    QCOMPARE(quint8(layoutConfigFrame(record, CountingFiller).at(45)), format);
}

void TestConfigFrame::lineFormatNotice_data()
{
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<bool>("notice");

    QTest::newRow("7N1") << 0 << 0 << 0 << true;
    QTest::newRow("7N2") << 0 << 1 << 0 << true;
    QTest::newRow("7O1") << 0 << 0 << 1 << false;
    QTest::newRow("7E2") << 0 << 1 << 2 << false;
    QTest::newRow("8N1") << 1 << 0 << 0 << false;
}

void TestConfigFrame::lineFormatNotice()
{
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    QFETCH(int, parity);
    QFETCH(bool, notice);
    DeviceRecord record = factoryForm();
    record.dataBits = dataBits;
    record.stopBits = stopBits;
    record.parity = parity;
    QCOMPARE(needsLineFormatNotice(record), notice);
    QCOMPARE(buildConfigFrame(record, CountingFiller).invalidField, ConfigField::None); // the notice never stops it
}

void TestConfigFrame::name_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("decoded");

    const auto row = [](const char *title, const QString &name, const char *hex, const QString &decoded) {
        QTest::newRow(title) << name << QByteArray::fromHex(hex) << decoded;
    };
    row("ABC", QStringLiteral("ABC"), "41424300000000000000", QStringLiteral("ABC"));
    row("empty", QString(), "00000000000000000000", QString());
    row("ten ASCII bytes", QStringLiteral("ABCDEFGHIJ"), "4142434445464748494A", QStringLiteral("ABCDEFGHIJ"));
    row("twelve ASCII cut to ten", QStringLiteral("ABCDEFGHIJKL"), "4142434445464748494A",
        QStringLiteral("ABCDEFGHIJ"));
    row("three-byte characters cut at 9", QStringLiteral("\u6E29\u5EA6\u4F20\u611F\u5668"), "E6B8A9E5BAA6E4BCA000",
        QStringLiteral("\u6E29\u5EA6\u4F20"));
    row("mixed cut at 8", QStringLiteral("AB\u6E29\u5EA6\u4F20\u611F"), "4142E6B8A9E5BAA60000",
        QStringLiteral("AB\u6E29\u5EA6"));
    row("four-byte character does not fit", QStringLiteral("ABCDEFGH\U0001F600"), "41424344454647480000",
        QStringLiteral("ABCDEFGH"));
    row("two-byte character does not fit", QStringLiteral("ABCDEFGHI\u00E9"), "41424344454647484900",
        QStringLiteral("ABCDEFGHI"));
    row("two-byte character fits exactly", QStringLiteral("ABCDEFGH\u00E9"), "4142434445464748C3A9",
        QStringLiteral("ABCDEFGH\u00E9"));
}

void TestConfigFrame::name()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, field);
    QFETCH(QString, decoded);
    DeviceRecord record = factoryForm();
    record.deviceName = name;
    const QByteArray frame = layoutConfigFrame(record, CountingFiller);
    QCOMPARE(frame.mid(NameOffset, NameSize).toHex(), field.toHex());
    QCOMPARE(decodeDeviceReply(frame, QString()).deviceName, decoded);
}

void TestConfigFrame::refusals_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<ConfigField>("refused");

    const auto row = [](const char *field, const QString &text, ConfigField refused) {
        QTest::addRow("%s \"%s\"", field, qPrintable(text)) << QString::fromLatin1(field) << text << refused;
    };
    row("macAddress", QString(), ConfigField::Target);
    row("macAddress", QStringLiteral("0011AABBCC"), ConfigField::Target);
    row("macAddress", QStringLiteral("0011AABBCCDDE"), ConfigField::Target);

    const QList<QPair<const char *, ConfigField>> addresses = {{"subnetMask", ConfigField::SubnetMask},
                                                               {"gateway", ConfigField::Gateway},
                                                               {"localIp", ConfigField::LocalIp},
                                                               {"remoteIp", ConfigField::RemoteIp}};
    const QStringList badAddresses = {QString(),
                                      QStringLiteral("192.168.1"),
                                      QStringLiteral("192.168.1."),
                                      QStringLiteral("192.168..1"),
                                      QStringLiteral("192.168.1.1.5"),
                                      QStringLiteral("192.168.1.256"),
                                      QStringLiteral("192.168.1.1000"),
                                      QStringLiteral("a.b.c.d"),
                                      QStringLiteral("192.168.1.-1"),
                                      QStringLiteral("+1.2.3.4"),
                                      QStringLiteral(" 192.168.1.1"),
                                      QStringLiteral("192.168.1.1 "),
                                      QStringLiteral("0x1.2.3.4"),
                                      QStringLiteral("1.2.3.\u0664")}; // ARABIC-INDIC DIGIT FOUR
    for (const auto &address : addresses) {
        for (const QString &text : badAddresses)
            row(address.first, text, address.second);
    }

    const QList<QPair<const char *, ConfigField>> numbers = {{"localPort", ConfigField::LocalPort},
                                                             {"remotePort", ConfigField::RemotePort},
                                                             {"baudRate", ConfigField::BaudRate}};
    const QStringList badNumbers = {QString(),
                                    QStringLiteral("12a"),
                                    QStringLiteral("-1"),
                                    QStringLiteral(" 1"),
                                    QStringLiteral("1 "),
                                    QStringLiteral("+5"),
                                    QStringLiteral("0x10"),
                                    QStringLiteral("9600.0"),
                                    QStringLiteral("1,200"),
                                    QStringLiteral("\u0661\u0662")}; // ARABIC-INDIC DIGITS ONE TWO
    for (const auto &number : numbers) {
        for (const QString &text : badNumbers)
            row(number.first, text, number.second);
    }
}

void TestConfigFrame::refusals()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(ConfigField, refused);
    DeviceRecord record = factoryForm();
    QString *target = textField(record, field);
    QVERIFY(target);
    *target = text;
    QCOMPARE(fieldName(findInvalidConfigField(record)), fieldName(refused));
    const ConfigFrame frame = buildConfigFrame(record, CountingFiller);
    QCOMPARE(fieldName(frame.invalidField), fieldName(refused));
    QVERIFY(frame.bytes.isEmpty());
}

void TestConfigFrame::refusalOrder()
{
    // With every field wrong, each fix reveals the next field in frame order.
    DeviceRecord record = factoryForm();
    const QList<QPair<QString, ConfigField>> order = {
        {QStringLiteral("macAddress"), ConfigField::Target},
        {QStringLiteral("subnetMask"), ConfigField::SubnetMask},
        {QStringLiteral("gateway"), ConfigField::Gateway},
        {QStringLiteral("localIp"), ConfigField::LocalIp},
        {QStringLiteral("localPort"), ConfigField::LocalPort},
        {QStringLiteral("remoteIp"), ConfigField::RemoteIp},
        {QStringLiteral("remotePort"), ConfigField::RemotePort},
        {QStringLiteral("baudRate"), ConfigField::BaudRate},
    };
    const DeviceRecord good = record;
    for (const auto &step : order)
        *textField(record, step.first) = QStringLiteral("x");
    for (const auto &step : order) {
        QCOMPARE(fieldName(findInvalidConfigField(record)), fieldName(step.second));
        *textField(record, step.first) = *textField(const_cast<DeviceRecord &>(good), step.first);
    }
    QCOMPARE(fieldName(findInvalidConfigField(record)), fieldName(ConfigField::None));
}

void TestConfigFrame::acceptedNumbers_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("bytes");

    const auto row = [](const char *field, const char *text, int offset, const char *hex) {
        QTest::addRow("%s \"%s\"", field, text)
            << QString::fromLatin1(field) << QString::fromLatin1(text) << offset << QByteArray::fromHex(hex);
    };
    row("localPort", "0", 34, "0000");
    row("localPort", "1", 34, "0100");
    row("localPort", "65535", 34, "FFFF");
    row("localPort", "65536", 34, "0000");
    row("localPort", "70000", 34, "7011");
    row("localPort", "0001234", 34, "D204");
    row("localPort", "4294968530", 34, "D204"); // 2^32 + 1234
    row("remotePort", "99999", 40, "9F86");
    row("baudRate", "9600", 42, "802500");
    row("baudRate", "100", 42, "640000");
    row("baudRate", "2000000", 42, "80841E");
    row("baudRate", "16777216", 42, "000000");
    row("baudRate", "20000000", 42, "002D31");
    row("baudRate", "99999999999999999999", 42, "FFFF0F");
    row("localIp", "0.0.0.0", 30, "00000000");
    row("localIp", "255.255.255.255", 30, "FFFFFFFF");
    row("localIp", "192.168.001.010", 30, "0A01A8C0");
    row("subnetMask", "255.255.254.0", 22, "00FEFFFF");
    row("gateway", "10.0.0.1", 26, "0100000A");
    row("remoteIp", "1.2.3.4", 36, "04030201");
}

void TestConfigFrame::acceptedNumbers()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    DeviceRecord record = factoryForm();
    *textField(record, field) = text;
    QCOMPARE(fieldName(findInvalidConfigField(record)), fieldName(ConfigField::None));
    QCOMPARE(layoutConfigFrame(record, CountingFiller).mid(offset, bytes.size()).toHex(), bytes.toHex());
}

void TestConfigFrame::smallFieldsKeepLowBits()
{
    DeviceRecord record = factoryForm();
    record.ipType = 0x1FF;
    record.workMode = -1;
    record.modbusConvert = 300;
    record.dataBits = -4;
    record.parity = 0x102;
    const QByteArray frame = layoutConfigFrame(record, CountingFiller);
    QCOMPARE(quint8(frame.at(20)), quint8(0xFF));
    QCOMPARE(quint8(frame.at(21)), quint8(0xFF));
    QCOMPARE(quint8(frame.at(48)), quint8(300 & 0xFF));
    QCOMPARE(quint8(frame.at(45)), quint8(0x03)); // indices outside the combo boxes: 8 data bits, no parity
    QCOMPARE(frame.mid(46, 2), QByteArray(2, '\0'));
    QCOMPARE(frame.at(49), '\0');
}

void TestConfigFrame::shortFillerIsZeroPadded()
{
    const QByteArray frame = layoutConfigFrame(factoryForm(), QByteArray::fromHex("AABB"));
    QCOMPARE(frame.size(), FrameSize);
    QCOMPARE(frame.mid(FillerOffset).toHex(), QByteArray("aabb00000000000000000000"));
    QVERIFY(hasValidFrameChecksum(frame));
}

void TestConfigFrame::timeSeededFillerNeverFF()
{
    for (int draw = 0; draw < 2000; ++draw) {
        const QByteArray filler = timeSeededFiller();
        QCOMPARE(filler.size(), FillerSize);
        QVERIFY(!filler.contains(char(0xFF)));
    }
    // Draws close together share a seed; together with timeSeededFillerFollowsTheClock
    // this covers every time of day: no seed of the minute yields FF.
    for (uint seed = 0; seed < 60000; ++seed)
        QVERIFY(!fillerForSeed(seed).contains(char(0xFF)));
}

void TestConfigFrame::timeSeededFillerFollowsTheClock()
{
    // The seed is ms + 1000 * s of the time of the call: one of the seeds between the two readings.
    const int before = secondsOfMinuteInMs(QTime::currentTime());
    const QByteArray filler = timeSeededFiller();
    const int after = secondsOfMinuteInMs(QTime::currentTime());
    constexpr int MsPerMinute = 60000;
    bool matched = false;
    for (int step = 0; !matched && step <= (after - before + MsPerMinute) % MsPerMinute; ++step)
        matched = fillerForSeed(uint((before + step) % MsPerMinute)) == filler;
    QVERIFY2(matched,
             qPrintable(QStringLiteral("filler %1 matches no seed from %2 to %3")
                            .arg(QString::fromLatin1(filler.toHex()))
                            .arg(before)
                            .arg(after)));
}

void TestConfigFrame::buildEncryptsTheLayout()
{
    const ConfigFrame frame = buildConfigFrame(factoryForm(), CountingFiller);
    QCOMPARE(fieldName(frame.invalidField), fieldName(ConfigField::None));
    QCOMPARE(frame.bytes.toHex(), opensslCbc(TestKey, layoutConfigFrame(factoryForm(), CountingFiller), true).toHex());
}

void TestConfigFrame::buildRefusesInvalidRecord()
{
    DeviceRecord record = factoryForm();
    record.macAddress.clear();
    const ConfigFrame frame = buildConfigFrame(record);
    QCOMPARE(fieldName(frame.invalidField), fieldName(ConfigField::Target));
    QVERIFY(frame.bytes.isEmpty());
}

void TestConfigFrame::differentFillerChangesOnlyLastBlock()
{
    const QByteArray first = buildConfigFrame(factoryForm(), CountingFiller).bytes;
    const QByteArray second = buildConfigFrame(factoryForm(), QByteArray::fromHex("0102030405060708090A0B0D")).bytes;
    QCOMPARE(first.size(), FrameSize);
    QCOMPARE(second.size(), FrameSize);
    QCOMPARE(first.left(48).toHex(), second.left(48).toHex());
    QVERIFY(first.mid(48) != second.mid(48));
}

void TestConfigFrame::roundTrip()
{
    // A module reading our frame with the shared layout gets back what the form held.
    QRandomGenerator random(4242);
    const QString source = QStringLiteral("10.231.0.1");
    for (int round = 0; round < 500; ++round) {
        const DeviceRecord record = randomRecord(random);
        QByteArray filler(FillerSize, '\0');
        for (char &byte : filler)
            byte = char(random.bounded(255));
        const ConfigFrame frame = buildConfigFrame(record, filler);
        QCOMPARE(fieldName(frame.invalidField), fieldName(ConfigField::None));

        QByteArray plain = frame.bytes;
        decryptFrame(frameBytes(plain), FrameSize);
        QCOMPARE(plain.toHex(), opensslCbc(TestKey, frame.bytes, false).toHex());
        QVERIFY(hasValidFrameChecksum(plain));
        QCOMPARE(plain.mid(MarkerOffset, MarkerSize), QByteArray(ConfigMarker));
        QCOMPARE(plain.mid(FillerOffset), filler);
        QCOMPARE(plain.mid(46, 2), QByteArray(2, '\0'));
        QCOMPARE(plain.at(49), '\0');

        DeviceRecord expected = record;
        expected.version = QStringLiteral("3.1.3.1"); // the marker bytes, read as a version
        expected.sourceIp = source;
        QCOMPARE(describe(decodeDeviceReply(plain, source)), describe(expected));
    }
}

QTEST_GUILESS_MAIN(TestConfigFrame)
#include "tst_configframe.moc"
