#include "configframe.h"
#include "devicename.h"
#include "factorydefaults.h"
#include "framechecksum.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "framelayout.h"
#include "opensslcbc.h"
#include "recordgenerator.h"
#include "replyframe.h"
#include "sendrulecases.h"

#include <QCryptographicHash>
#include <QSet>
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
    void moduleNameBytesGoBack_data();
    void moduleNameBytesGoBack();
    void reportedLineFormat_data();
    void reportedLineFormat();
    void unEditedReplyGoesBackUnchanged();
    void refusals_data();
    void refusals();
    void refusalOrder();
    void acceptedNumbers_data();
    void acceptedNumbers();
    void sendRule_data();
    void sendRule();
    void untouchedValuesAreNotChecked_data();
    void untouchedValuesAreNotChecked();
    void smallFieldsKeepOnlyTheirBits();
    void shortFillerIsZeroPadded();
    void fillerVariesAndNeverHoldsFF();
    void seededFillerWorkedExamples_data();
    void seededFillerWorkedExamples();
    void seededFillerIsQt5Sequence();
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
    record.dataBits = Module::DataBits(dataBits);
    record.stopBits = Module::StopBits(stopBits);
    record.parity = Module::Parity(parity);
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
    record.dataBits = Module::DataBits(dataBits);
    record.stopBits = Module::StopBits(stopBits);
    record.parity = Module::Parity(parity);
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

void TestConfigFrame::moduleNameBytesGoBack_data()
{
    QTest::addColumn<QByteArray>("nameField");
    QTest::addColumn<QString>("deviceName");
    QTest::addColumn<QByteArray>("sent");

    const auto row = [](const char *title, const QByteArray &nameField, const QString &deviceName, const char *sent) {
        QTest::newRow(title) << nameField << deviceName << QByteArray::fromHex(sent);
    };
    // GBK of 泵站 and 泵站控制器, from iconv -f UTF-8 -t GBK.
    row("GBK name", QByteArray::fromHex("B1C3D5BE000000000000"), QStringLiteral("\u6CF5\u7AD9"),
        "B1C3D5BE000000000000");
    row("bytes after an embedded zero", QByteArray::fromHex("41420043444500464700"), QStringLiteral("AB"),
        "41420043444500464700");
    row("UTF-8 character cut at byte 10", QByteArray::fromHex("E6B8A9E5BAA6E4BCA0E6"),
        QStringLiteral("\u5A13\u2541\u5BB3\u6D7C\u72B3"), "E6B8A9E5BAA6E4BCA0E6");
    row("undecodable byte", QByteArray::fromHex("41FF4200000000000000"), QStringLiteral("A\\xFFB"),
        "41FF4200000000000000");
    row("the module's bytes, whatever name is shown", QByteArray::fromHex("4B53542D303100000000"),
        QStringLiteral("Other"), "4B53542D303100000000");
    row("an edited name, encoded like the GBK original",
        encodeDeviceName(QStringLiteral("\u6CF5\u7AD9\u63A7\u5236\u5668"), QByteArray::fromHex("B1C3D5BE"))
            .value_or(QByteArray()),
        QStringLiteral("\u6CF5\u7AD9\u63A7\u5236\u5668"), "B1C3D5BEBFD8D6C6C6F7");
    row("no module bytes: the name as UTF-8", QByteArray(), QStringLiteral("\u6CF5\u7AD9"), "E6B3B5E7AB9900000000");
    row("not ten bytes, so not a module's field", QByteArray("ABC"), QStringLiteral("XYZ"), "58595A00000000000000");
}

void TestConfigFrame::moduleNameBytesGoBack()
{
    QFETCH(QByteArray, nameField);
    QFETCH(QString, deviceName);
    QFETCH(QByteArray, sent);
    DeviceRecord record = factoryForm();
    record.nameField = nameField;
    record.deviceName = deviceName;
    QCOMPARE(layoutConfigFrame(record, CountingFiller).mid(NameOffset, NameSize).toHex(), sent.toHex());
}

void TestConfigFrame::reportedLineFormat_data()
{
    QTest::addColumn<int>("reported");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<quint8>("sent");

    // The three boxes as loaded from the module: bits 0-5 of its own byte go back.
    QTest::newRow("5 data bits") << 0x00 << 1 << 0 << 0 << quint8(0x00);
    QTest::newRow("6 data bits, 2 stop bits") << 0x05 << 1 << 1 << 0 << quint8(0x05);
    QTest::newRow("5 data bits, odd") << 0x08 << 1 << 0 << 1 << quint8(0x08);
    QTest::newRow("mark parity, 8 data bits") << 0x2B << 1 << 0 << 0 << quint8(0x2B);
    QTest::newRow("space parity, 7 data bits") << 0x3A << 0 << 0 << 0 << quint8(0x3A);
    QTest::newRow("8N1") << 0x03 << 1 << 0 << 0 << quint8(0x03);
    QTest::newRow("7E1") << 0x1A << 0 << 0 << 2 << quint8(0x1A);
    QTest::newRow("bits 6-7 cleared") << 0xC3 << 1 << 0 << 0 << quint8(0x03);
    QTest::newRow("bits 6-7 cleared, stick parity kept") << 0xEB << 1 << 0 << 0 << quint8(0x2B);
    // A box changed: the byte is built from the boxes.
    QTest::newRow("5 data bits, changed to 7") << 0x00 << 0 << 0 << 0 << quint8(0x02);
    QTest::newRow("mark parity, changed to odd") << 0x2B << 1 << 0 << 1 << quint8(0x0B);
    QTest::newRow("6 data bits, stop bits changed") << 0x01 << 1 << 1 << 0 << quint8(0x07);
    QTest::newRow("8N1, changed to 8E2") << 0x03 << 1 << 1 << 2 << quint8(0x1F);
    // Nothing reported (a record not from a reply, or after "Factory Reset").
    QTest::newRow("nothing reported, 8N1") << -1 << 1 << 0 << 0 << quint8(0x03);
    QTest::newRow("nothing reported, 7O2") << -1 << 0 << 1 << 1 << quint8(0x0E);
}

void TestConfigFrame::reportedLineFormat()
{
    QFETCH(int, reported);
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    QFETCH(int, parity);
    QFETCH(quint8, sent);
    DeviceRecord record = factoryForm();
    record.reportedLineFormat = reported;
    record.dataBits = Module::DataBits(dataBits);
    record.stopBits = Module::StopBits(stopBits);
    record.parity = Module::Parity(parity);
    QCOMPARE(quint8(layoutConfigFrame(record, CountingFiller).at(45)), sent);
}

void TestConfigFrame::unEditedReplyGoesBackUnchanged()
{
    // A module's reply, decoded and sent back with no edits, gives the module its own settings: bytes 10-44 as
    // they were, and the defined bits of bytes 20 (bit 0), 21 (bits 0-1), 45 (bits 0-5) and 48 (bit 0).
    const auto check = [](const QByteArray &reply, const QByteArray &filler) {
        const DeviceRecord record = decodeDeviceReply(reply, QStringLiteral("10.231.0.2"));
        // Nothing edited, so nothing is checked: whatever the module reported goes back.
        QCOMPARE(fieldName(findInvalidConfigField(record, EditedFields())), fieldName(ConfigField::None));
        const ConfigFrame frame = buildConfigFrame(record, filler, EditedFields());
        const QByteArray sent = opensslCbc(TestKey, frame.bytes, false);
        QCOMPARE(sent.size(), FrameSize);
        const auto byte = [](const QByteArray &bytes, int offset) { return quint8(bytes.at(offset)); };

        QCOMPARE(sent.left(MacSize).toHex(), reply.left(MacSize).toHex());
        QCOMPARE(sent.mid(MarkerOffset, MarkerSize), QByteArray("1111"));
        QCOMPARE(sent.mid(10, 10).toHex(), reply.mid(10, 10).toHex()); // the name
        QCOMPARE(byte(sent, 20), quint8(byte(reply, 20) & 0x01));
        QCOMPARE(byte(sent, 21), quint8(byte(reply, 21) & 0x03));
        QCOMPARE(sent.mid(22, 23).toHex(), reply.mid(22, 23).toHex()); // addresses, ports, baud rate
        QCOMPARE(byte(sent, 45), quint8(byte(reply, 45) & 0x3F));
        QCOMPARE(sent.mid(46, 2).toHex(), QByteArray("0000"));
        QCOMPARE(byte(sent, 48), quint8(byte(reply, 48) & 0x01));
        QCOMPARE(byte(sent, 49), quint8(0));
        QVERIFY(hasValidFrameChecksum(sent));
        QCOMPARE(sent.mid(FillerOffset).toHex(), filler.toHex());
    };

    QRandomGenerator random(300);
    for (int round = 0; round < 300; ++round) {
        const QByteArray reply = randomReplyFrame(random);
        QByteArray filler(FillerSize, '\0');
        for (char &byte : filler)
            byte = char(random.bounded(255));
        check(reply, filler);
        if (QTest::currentTestFailed()) {
            qWarning("reply %s", reply.toHex().constData());
            return;
        }
    }

    // Every line-format byte a module could report.
    QByteArray reply = randomReplyFrame(random);
    for (int format = 0; format < 256; ++format) {
        reply[45] = char(format);
        check(reply, CountingFiller);
        if (QTest::currentTestFailed()) {
            qWarning("line format %02X", format);
            return;
        }
    }
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
                                      QStringLiteral("0001.2.3.4"), // four digits, though the value is 1
                                      QStringLiteral("192.168.1.0010"),
                                      QStringLiteral("1.2.3.\u0664"), // ARABIC-INDIC DIGIT FOUR
                                      QStringLiteral("1.2.3.\uFF14"), // FULLWIDTH DIGIT FOUR
                                      QStringLiteral("1.2.3.4\u200E"), // a mark after the last part
                                      QStringLiteral("1\uFF0E2.3.4")}; // FULLWIDTH FULL STOP
    for (const auto &address : addresses) {
        for (const QString &text : badAddresses)
            row(address.first, text, address.second);
    }

    const QList<QPair<const char *, ConfigField>> numbers = {{"localPort", ConfigField::LocalPort},
                                                             {"remotePort", ConfigField::RemotePort},
                                                             {"baudRate", ConfigField::BaudRate}};
    // Only ASCII digits, as the form's validators: no signs, group separators or other scripts' digits.
    const QStringList badNumbers = {QString(),
                                    QStringLiteral("12a"),
                                    QStringLiteral("-1"),
                                    QStringLiteral(" 1"),
                                    QStringLiteral("1 "),
                                    QStringLiteral("+5"),
                                    QStringLiteral("+80"),
                                    QStringLiteral("0x10"),
                                    QStringLiteral("9600.0"),
                                    QStringLiteral("1,200"),
                                    QStringLiteral("1.234"),
                                    QStringLiteral("1e3"),
                                    QStringLiteral("\u0661\u0662\u0663"), // ARABIC-INDIC DIGITS ONE TWO THREE
                                    QStringLiteral("\uFF11\uFF12\uFF13"), // FULLWIDTH DIGITS ONE TWO THREE
                                    QStringLiteral("\u0967\u0968\u0969")}; // DEVANAGARI DIGITS ONE TWO THREE
    for (const auto &number : numbers) {
        for (const QString &text : badNumbers)
            row(number.first, text, number.second);
    }

    // Outside the ranges the fields accept, or more digits than the top has.
    for (const char *port : {"localPort", "remotePort"}) {
        const ConfigField refused = QByteArray(port) == "localPort" ? ConfigField::LocalPort : ConfigField::RemotePort;
        for (const char *text : {"0", "00000", "65536", "70000", "99999", "000001", "0000080", "4294968530"})
            row(port, QString::fromLatin1(text), refused);
    }
    for (const char *text :
         {"0", "99", "0000099", "2000001", "16777216", "20000000", "00000100", "99999999999999999999"})
        row("baudRate", QString::fromLatin1(text), ConfigField::BaudRate);
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
    QTest::addColumn<bool>("randomPort");

    const auto row = [](const char *field, const char *text, int offset, const char *hex, bool randomPort = false) {
        QTest::addRow("%s \"%s\"%s", field, text, randomPort ? ", random" : "")
            << QString::fromLatin1(field) << QString::fromLatin1(text) << offset << QByteArray::fromHex(hex)
            << randomPort;
    };
    row("localPort", "0", 34, "0000", true); // "Random" ticked in a TCP client: the module picks its port
    row("localPort", "1", 34, "0100");
    row("localPort", "65535", 34, "FFFF");
    row("localPort", "01234", 34, "D204"); // leading zeros within the five digits a port has
    row("localPort", "00080", 34, "5000");
    row("localPort", "1234", 34, "D204", true);
    row("remotePort", "1", 40, "0100");
    row("remotePort", "65535", 40, "FFFF");
    row("baudRate", "9600", 42, "802500");
    row("baudRate", "100", 42, "640000");
    row("baudRate", "0000100", 42, "640000");
    row("baudRate", "2000000", 42, "80841E");
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
    QFETCH(bool, randomPort);
    DeviceRecord record = factoryForm();
    record.randomPort = randomPort;
    if (randomPort)
        record.workMode = Module::TcpClient; // the one mode that offers "Random"
    *textField(record, field) = text;
    QCOMPARE(fieldName(findInvalidConfigField(record)), fieldName(ConfigField::None));
    QCOMPARE(layoutConfigFrame(record, CountingFiller).mid(offset, bytes.size()).toHex(), bytes.toHex());
}

// The table the window's test runs too: one field typed into a module that reported valid values.
void TestConfigFrame::sendRule_data()
{
    addSendRuleColumns();
    addSendRuleRows();
}

void TestConfigFrame::sendRule()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(bool, random);
    QFETCH(int, mode);
    QFETCH(bool, accepted);
    DeviceRecord reported = factoryForm();
    reported.workMode = Module::WorkMode(mode);
    DeviceRecord typed = reported;
    typed.randomPort = random;
    const QHash<int, QString *> fields = {
        {int(ConfigField::SubnetMask), &typed.subnetMask}, {int(ConfigField::Gateway), &typed.gateway},
        {int(ConfigField::LocalIp), &typed.localIp},       {int(ConfigField::LocalPort), &typed.localPort},
        {int(ConfigField::RemoteIp), &typed.remoteIp},     {int(ConfigField::RemotePort), &typed.remotePort},
        {int(ConfigField::BaudRate), &typed.baudRate},
    };
    QVERIFY(fields.contains(field));
    *fields.value(field) = text;
    const ConfigField refused = findInvalidConfigField(typed, fieldsChangedFrom(reported, typed));
    QCOMPARE(fieldName(refused), fieldName(accepted ? ConfigField::None : ConfigField(field)));
    QCOMPARE(isAcceptedFieldText(ConfigField(field), text, random, mode), accepted);
}

// What a module reported and nobody edited is sent back byte for byte, even where nobody could type it; a change
// that makes such a value matter (a mode that uses the remote end) has it checked.
void TestConfigFrame::untouchedValuesAreNotChecked_data()
{
    QTest::addColumn<QString>("editedField");
    QTest::addColumn<QString>("editedText");
    QTest::addColumn<int>("mode");
    QTest::addColumn<ConfigField>("refused");
    QTest::addColumn<int>("offset");     // where the edit lands in the frame
    QTest::addColumn<QByteArray>("bytes"); // and what it writes there

    QTest::newRow("local IP of a TCP server") << "localIp" << "192.168.1.20" << int(Module::TcpServer)
                                              << ConfigField::None << 30 << QByteArray::fromHex("1401A8C0");
    QTest::newRow("gateway only") << "gateway" << "192.168.1.254" << int(Module::TcpServer) << ConfigField::None
                                  << 26 << QByteArray::fromHex("FE01A8C0");
    // Local port 0 stands for "Random" in a TCP client only; a TCP client needs its remote end.
    QTest::newRow("the server becomes a UDP peer") << "" << "" << int(Module::Udp) << ConfigField::LocalPort << 0
                                                   << QByteArray();
    QTest::newRow("the server becomes a TCP client") << "" << "" << int(Module::TcpClient) << ConfigField::RemotePort
                                                     << 0 << QByteArray();
    QTest::newRow("baud rate typed below 100") << "baudRate" << "75" << int(Module::TcpServer)
                                               << ConfigField::BaudRate << 0 << QByteArray();
}

void TestConfigFrame::untouchedValuesAreNotChecked()
{
    QFETCH(QString, editedField);
    QFETCH(QString, editedText);
    QFETCH(int, mode);
    QFETCH(ConfigField, refused);
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);

    // A TCP server with its remote end unused (0.0.0.0:0), local port 0 and a 50-baud line.
    DeviceRecord module = factoryForm();
    module.workMode = Module::TcpServer;
    module.remoteIp = QStringLiteral("0.0.0.0");
    module.remotePort = QStringLiteral("0");
    module.localPort = QStringLiteral("0");
    module.baudRate = QStringLiteral("50");
    const QByteArray reply = layoutDeviceReply(module);
    const DeviceRecord reported = decodeDeviceReply(reply, QStringLiteral("10.0.0.2"));
    QCOMPARE(fieldName(findInvalidConfigField(reported)), fieldName(ConfigField::LocalPort)); // typed, it is refused

    DeviceRecord edited = reported;
    if (!editedField.isEmpty())
        *textField(edited, editedField) = editedText;
    edited.workMode = Module::WorkMode(mode);
    QCOMPARE(fieldName(findInvalidConfigField(edited, fieldsChangedFrom(reported, edited))), fieldName(refused));
    if (refused != ConfigField::None)
        return;
    const QByteArray sent = layoutConfigFrame(edited, CountingFiller);
    QByteArray expected = reply.mid(NameOffset, ParametersEnd - NameOffset);
    expected.replace(offset - NameOffset, bytes.size(), bytes); // the edit, and nothing else, differs from the reply
    QCOMPARE(sent.mid(NameOffset, ParametersEnd - NameOffset).toHex(' '), expected.toHex(' '));
    QCOMPARE(sent.mid(RemoteIpOffset, 9).toHex(' '), reply.mid(RemoteIpOffset, 9).toHex(' ')); // 0.0.0.0:0, 50 baud
    QCOMPARE(sent.mid(LocalPortOffset, 2).toHex(), QByteArray("0000"));
}

void TestConfigFrame::smallFieldsKeepOnlyTheirBits()
{
    // Byte 20 carries the IP type in bit 0, byte 21 the work mode in bits 0-1, byte 48 Modbus in bit 0;
    // the other bits are not the tool's to set.
    DeviceRecord record = factoryForm();
    record.ipType = Module::IpType(0x1FF);
    record.workMode = Module::WorkMode(-1);
    record.modbusConvert = Module::ModbusConvert(301);
    record.dataBits = Module::DataBits(-4);
    record.parity = Module::Parity(0x102);
    const QByteArray frame = layoutConfigFrame(record, CountingFiller);
    QCOMPARE(quint8(frame.at(20)), quint8(0x01));
    QCOMPARE(quint8(frame.at(21)), quint8(0x03));
    QCOMPARE(quint8(frame.at(48)), quint8(0x01));
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

void TestConfigFrame::seededFillerWorkedExamples_data()
{
    QTest::addColumn<uint>("seed");
    QTest::addColumn<QByteArray>("filler");
    // Drawn with Qt 5.15.8's own qsrand(seed), qrand() discarded, then twelve qrand() % 255.
    QTest::newRow("seed 0 counts as 1") << 0u << QByteArray::fromHex("27AB614C44386E7474F14DFC");
    QTest::newRow("seed 1") << 1u << QByteArray::fromHex("27AB614C44386E7474F14DFC");
    QTest::newRow("seed 31337") << 31337u << QByteArray::fromHex("F02C222130FD606A720AF99A");
    QTest::newRow("last of the minute") << 59999u << QByteArray::fromHex("D15E8AED8CD5BE9722784520");
}

void TestConfigFrame::seededFillerWorkedExamples()
{
    QFETCH(uint, seed);
    QFETCH(QByteArray, filler);
    QCOMPARE(seededFiller(seed).toHex(), filler.toHex());
}

void TestConfigFrame::seededFillerIsQt5Sequence()
{
    // Every seed the clock can give, so that frames are the same whichever Qt the tool is built with. The digest
    // is of the fillers Qt 5.15.8's qsrand/qrand drew for seeds 0 to 59999 in order.
    QCryptographicHash digest(QCryptographicHash::Sha256);
    for (uint seed = 0; seed < 60000; ++seed)
        digest.addData(seededFiller(seed));
    QCOMPARE(digest.result().toHex(), QByteArray("f6fe2992028f755c4cfa38f312a3746afc4703fb8bb296ec0eaacd9f7b68e590"));
}

// What a module sees of the filler: 12 bytes, none of them FF, not the same from one moment to the next.
void TestConfigFrame::fillerVariesAndNeverHoldsFF()
{
    QSet<QByteArray> seen;
    const auto draw = [&seen] {
        const QByteArray filler = timeSeededFiller();
        seen.insert(filler);
        return filler;
    };
    for (int i = 0; i < 2000; ++i) {
        const QByteArray filler = draw();
        QCOMPARE(filler.size(), FillerSize);
        QVERIFY2(!filler.contains(char(0xFF)), filler.toHex(' ').constData());
    }
    // Drawn as the clock moves on, the filler changes.
    QTRY_VERIFY((draw(), seen.size() >= 3));
    for (const QByteArray &filler : qAsConst(seen)) {
        QCOMPARE(filler.size(), FillerSize);
        QVERIFY2(!filler.contains(char(0xFF)), filler.toHex(' ').constData());
    }
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
        expected.nameField = record.deviceName.toUtf8().leftJustified(NameSize, '\0'); // generated names fit
        expected.reportedLineFormat = quint8(plain.at(45));
        QCOMPARE(decodeDeviceReply(plain, source), expected);
    }
}

QTEST_GUILESS_MAIN(TestConfigFrame)
#include "tst_configframe.moc"
