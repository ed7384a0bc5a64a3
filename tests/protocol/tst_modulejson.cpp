#include "devicename.h"
#include "devicerecordprinting.h"
#include "factorydefaults.h"
#include "frameconstants.h"
#include "framelayout.h"
#include "moduleenums.h"
#include "modulejson.h"
#include "replyframe.h"

#include <QJsonDocument>
#include <QMetaEnum>
#include <QtTest>

// The JSON form of a module that kestrel-sim's state file and kestrelctl share: the documented keys and values,
// names kept byte for byte, and every refusal naming its key.
class TestModuleJson : public QObject
{
    Q_OBJECT

private slots:
    void writesTheDocumentedForm_data();
    void writesTheDocumentedForm();
    void readsBackWhatItWrites_data();
    void readsBackWhatItWrites();
    void nameBytesTravelBesideTheNameWhenTheTextCannotCarryThem_data();
    void nameBytesTravelBesideTheNameWhenTheTextCannotCarryThem();
    void editedNameIsEncodedLikeTheBytesItReplaces_data();
    void editedNameIsEncodedLikeTheBytesItReplaces();
    void keysLeftOutKeepTheBase();
    void refusalsNameTheKeyAndWhatItTakes_data();
    void refusalsNameTheKeyAndWhatItTakes();
    void everySettingHasOneValueThatReadsBack();
    void fieldAssignmentsTakeTheJsonValuesAsText_data();
    void fieldAssignmentsTakeTheJsonValuesAsText();
    void fieldAssignmentRefusals_data();
    void fieldAssignmentRefusals();
    void modulesOwnLineFormatSurvivesUntilALineSettingChanges();
    void everyLineFormatByteSurvivesAFile();
    void oldLineFormatFilesStillLoad_data();
    void oldLineFormatFilesStillLoad();
    void reportedValuesSurviveAFile();
    void settableKeysLeaveIdentityAlone();
    void lineEndAfterAValueIsRefused();

private:
    static DeviceRecord sendableModule();
    static DeviceRecord fromReply(const DeviceRecord &module, int lineFormat, const QByteArray &nameField);
    static QByteArray compact(const QJsonObject &object);
};

namespace {

QByteArray nameBytes(const char *hex)
{
    return QByteArray::fromHex(hex).leftJustified(NameSize, '\0');
}

} // namespace

DeviceRecord TestModuleJson::sendableModule()
{
    DeviceRecord module = factoryDefaultRecord();
    module.macAddress = QStringLiteral("02004B530001");
    module.version = QStringLiteral("1.0.0.1");
    module.deviceName = QStringLiteral("SIM-1");
    module.nameField = nameBytes("53494D2D31");
    return module;
}

// The record a reply with this line-format byte and these name bytes decodes to.
DeviceRecord TestModuleJson::fromReply(const DeviceRecord &module, int lineFormat, const QByteArray &nameField)
{
    QByteArray frame = layoutDeviceReply(module);
    frame[LineFormatOffset] = char(lineFormat);
    frame.replace(NameOffset, NameSize, nameField);
    return decodeDeviceReply(frame, QStringLiteral("10.231.0.7"));
}

QByteArray TestModuleJson::compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

void TestModuleJson::writesTheDocumentedForm_data()
{
    QTest::addColumn<DeviceRecord>("record");
    QTest::addColumn<QByteArray>("json");

    QTest::newRow("factory defaults") << sendableModule()
                                      << QByteArray(
                                             "{\"baud\":9600,\"data-bits\":8,\"gateway\":\"192.168.1.1\","
                                             "\"ip\":\"192.168.1.10\",\"ip-type\":\"static\",\"local-port\":1234,"
                                             "\"mac\":\"02004B530001\",\"mask\":\"255.255.255.0\","
                                             "\"modbus\":\"off\",\"mode\":\"udp\",\"name\":\"SIM-1\","
                                             "\"parity\":\"none\",\"remote-ip\":\"192.168.1.254\","
                                             "\"remote-port\":1234,\"stop-bits\":1,\"version\":\"1.0.0.1\"}");

    DeviceRecord other = sendableModule();
    other.workMode = Module::TcpServer;
    other.ipType = Module::Dhcp;
    other.localPort = QStringLiteral("0");
    other.randomPort = true;
    other.remotePort = QStringLiteral("502");
    other.baudRate = QStringLiteral("115200");
    other.parity = Module::EvenParity;
    other.dataBits = Module::SevenDataBits;
    other.stopBits = Module::TwoStopBits;
    other.modbusConvert = Module::ModbusOn;
    other.sourceIp = QStringLiteral("10.231.0.7");
    QTest::newRow("every setting changed, seen on the network")
        << other
        << QByteArray("{\"baud\":115200,\"data-bits\":7,\"gateway\":\"192.168.1.1\",\"ip\":\"192.168.1.10\","
                      "\"ip-type\":\"dhcp\",\"local-port\":\"random\",\"mac\":\"02004B530001\","
                      "\"mask\":\"255.255.255.0\",\"modbus\":\"on\",\"mode\":\"tcp-server\",\"name\":\"SIM-1\","
                      "\"parity\":\"even\",\"remote-ip\":\"192.168.1.254\",\"remote-port\":502,"
                      "\"source-ip\":\"10.231.0.7\",\"stop-bits\":2,\"version\":\"1.0.0.1\"}");

    // What a module reports is written as it is, even where a configuration frame could not carry it back.
    DeviceRecord odd = sendableModule();
    odd.baudRate = QStringLiteral("50");
    odd.remotePort = QStringLiteral("0");
    odd.workMode = Module::UdpServer;
    odd.parity = Module::OddParity;
    QTest::newRow("out-of-range values a module reported")
        << odd
        << QByteArray("{\"baud\":50,\"data-bits\":8,\"gateway\":\"192.168.1.1\",\"ip\":\"192.168.1.10\","
                      "\"ip-type\":\"static\",\"local-port\":1234,\"mac\":\"02004B530001\",\"mask\":\"255.255.255.0\","
                      "\"modbus\":\"off\",\"mode\":\"udp-server\",\"name\":\"SIM-1\",\"parity\":\"odd\","
                      "\"remote-ip\":\"192.168.1.254\",\"remote-port\":0,\"stop-bits\":1,\"version\":\"1.0.0.1\"}");
}

void TestModuleJson::writesTheDocumentedForm()
{
    QFETCH(DeviceRecord, record);
    QFETCH(QByteArray, json);
    QCOMPARE(compact(moduleToJson(record)), json);
}

void TestModuleJson::readsBackWhatItWrites_data()
{
    QTest::addColumn<DeviceRecord>("record");

    QTest::newRow("factory defaults") << sendableModule();
    DeviceRecord changed = sendableModule();
    changed.workMode = Module::TcpClient;
    changed.ipType = Module::Dhcp;
    changed.localIp = QStringLiteral("10.0.0.200");
    changed.subnetMask = QStringLiteral("255.0.0.0");
    changed.gateway = QStringLiteral("10.0.0.1");
    changed.remoteIp = QStringLiteral("10.0.0.9");
    changed.localPort = QStringLiteral("0");
    changed.randomPort = true;
    changed.remotePort = QStringLiteral("65535");
    changed.baudRate = QStringLiteral("2000000");
    changed.parity = Module::OddParity;
    changed.dataBits = Module::SevenDataBits;
    changed.stopBits = Module::TwoStopBits;
    changed.modbusConvert = Module::ModbusOn;
    changed.version = QStringLiteral("15.0.10.3");
    QTest::newRow("every setting changed") << changed;

    const DeviceRecord base = sendableModule();
    QTest::newRow("GBK name") << fromReply(base, 0x03, nameBytes("B1C3D5BE31"));
    QTest::newRow("UTF-8 name of 10 bytes") << fromReply(base, 0x03, nameBytes("E6B3B5E7AB99E6B3B531"));
    QTest::newRow("bytes after a zero") << fromReply(base, 0x03, nameBytes("4142005859"));
    QTest::newRow("character cut at byte 10") << fromReply(base, 0x03, nameBytes("414243444546474849E6"));
    QTest::newRow("control character") << fromReply(base, 0x03, nameBytes("41014243"));
    QTest::newRow("empty name") << fromReply(base, 0x03, nameBytes(""));
}

void TestModuleJson::readsBackWhatItWrites()
{
    QFETCH(DeviceRecord, record);
    const QJsonObject json = moduleToJson(record);

    // Over a base that knows nothing of the module, as a state file is read.
    DeviceRecord base = factoryDefaultRecord();
    base.sourceIp = record.sourceIp;
    base.reportedLineFormat = record.reportedLineFormat;
    DeviceRecord read;
    QString error;
    QVERIFY2(moduleFromJson(json, base, &read, &error), qPrintable(error));
    QCOMPARE(read, record);
    // And the frame it makes carries the same name bytes.
    QCOMPARE(layoutConfigFrame(read, QByteArray()).mid(NameOffset, NameSize),
             layoutConfigFrame(record, QByteArray()).mid(NameOffset, NameSize));
}

void TestModuleJson::nameBytesTravelBesideTheNameWhenTheTextCannotCarryThem_data()
{
    QTest::addColumn<QByteArray>("nameField");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("nameHex"); // empty: not written

    QTest::newRow("ASCII") << nameBytes("50756D702D31") << "Pump-1" << QString();
    QTest::newRow("UTF-8") << nameBytes("4772C3B6C39F65") << QStringLiteral("Größe") << QString();
    QTest::newRow("GBK") << nameBytes("B1C3D5BE31") << QStringLiteral("泵站1") << "B1C3D5BE310000000000";
    QTest::newRow("bytes after a zero") << nameBytes("4142005859") << "AB"
                                        << "41420058590000000000";
    QTest::newRow("10 bytes, no zero") << nameBytes("30313233343536373839") << "0123456789" << QString();
}

void TestModuleJson::nameBytesTravelBesideTheNameWhenTheTextCannotCarryThem()
{
    QFETCH(QByteArray, nameField);
    QFETCH(QString, name);
    QFETCH(QString, nameHex);

    const QJsonObject json = moduleToJson(fromReply(sendableModule(), 0x03, nameField));
    QCOMPARE(json.value(QLatin1String("name")).toString(), name);
    QCOMPARE(json.contains(QLatin1String("name-hex")), !nameHex.isEmpty());
    QCOMPARE(json.value(QLatin1String("name-hex")).toString(), nameHex);
}

void TestModuleJson::editedNameIsEncodedLikeTheBytesItReplaces_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QByteArray>("baseNameField");
    QTest::addColumn<QByteArray>("nameField");

    const QByteArray utf8Base = nameBytes("53494D2D31");
    QTest::newRow("new name over UTF-8 bytes")
        << QByteArray("{\"name\": \"泵站2\"}") << utf8Base << nameBytes("E6B3B5E7AB9932");
    QTest::newRow("new name over GBK bytes of the base")
        << QByteArray("{\"name\": \"泵站2\"}") << nameBytes("B1C3D5BE31") << nameBytes("B1C3D5BE32");
    QTest::newRow("new name beside stale GBK name-hex")
        << QByteArray("{\"name\": \"泵站2\", \"name-hex\": \"B1C3D5BE310000000000\"}") << utf8Base
        << nameBytes("B1C3D5BE32");
    QTest::newRow("name still showing its name-hex")
        << QByteArray("{\"name\": \"AB\", \"name-hex\": \"41420058590000000000\"}") << utf8Base
        << nameBytes("4142005859");
    QTest::newRow("name-hex alone") << QByteArray("{\"name-hex\": \"B1C3\"}") << utf8Base << nameBytes("B1C3");
    // What a file a module never sent holds (kestrel-sim's state) is cut; a name to be sent is refused instead.
    QTest::newRow("name cut at 10 bytes, not inside a character")
        << QByteArray("{\"name\": \"ABCDEFGH泵\"}") << utf8Base << nameBytes("4142434445464748");
    QTest::newRow("unchanged name keeps the base's bytes after a zero")
        << QByteArray("{\"name\": \"AB\"}") << nameBytes("4142005859") << nameBytes("4142005859");
}

void TestModuleJson::editedNameIsEncodedLikeTheBytesItReplaces()
{
    QFETCH(QByteArray, json);
    QFETCH(QByteArray, baseNameField);
    QFETCH(QByteArray, nameField);

    const DeviceRecord base = fromReply(sendableModule(), 0x03, baseNameField);
    DeviceRecord read;
    QString error;
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    const QString name = object.value(QStringLiteral("name")).toString();
    const bool cut = encodedDeviceNameSize(name, baseNameField).value_or(0) > NameSize;
    if (cut) {
        QVERIFY(!moduleFromJson(object, base, &read, &error));
        QVERIFY2(
            error.contains(QStringLiteral("takes %1 bytes; the module holds 10").arg(*encodedDeviceNameSize(name))),
            qPrintable(error));
    }
    QVERIFY2(moduleFromJson(object, base, &read, &error, cut ? SendCheck::None : SendCheck::ChangedFields),
             qPrintable(error));
    QCOMPARE(read.nameField.toHex(' '), nameField.toHex(' '));
    QCOMPARE(read.deviceName, displayDeviceName(nameField));
    QCOMPARE(layoutConfigFrame(read, QByteArray()).mid(NameOffset, NameSize).toHex(' '), nameField.toHex(' '));
}

void TestModuleJson::keysLeftOutKeepTheBase()
{
    DeviceRecord base = fromReply(sendableModule(), 0x1A, nameBytes("B1C3D5BE31"));
    base.baudRate = QStringLiteral("4800");
    base.workMode = Module::UdpServer;
    DeviceRecord read;
    QString error;
    QVERIFY2(moduleFromJson(QJsonObject(), base, &read, &error), qPrintable(error));
    QCOMPARE(read, base);

    QVERIFY2(moduleFromJson(QJsonDocument::fromJson("{\"remote-port\": 502}").object(), base, &read, &error),
             qPrintable(error));
    DeviceRecord expected = base;
    expected.remotePort = QStringLiteral("502");
    QCOMPARE(read, expected);
}

void TestModuleJson::refusalsNameTheKeyAndWhatItTakes_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("fragments");

    const auto row = [](const char *name, const char *json, const QStringList &fragments) {
        QTest::newRow(name) << QByteArray(json) << fragments;
    };
    row("unknown key", "{\"baudRate\": 9600}", {"unknown key \"baudRate\"", "baud"});
    row("number as text", "{\"baud\": \"9600\"}",
        {"\"baud\": expected a whole number from 100 to 2000000, got \"9600\""});
    row("baud beyond 24 bits", "{\"baud\": 16777216}", {"\"baud\"", "from 100 to 2000000", "got 16777216"});
    row("baud below the range", "{\"baud\": 99}", {"\"baud\"", "got 99"});
    row("baud with a fraction", "{\"baud\": 9600.5}", {"\"baud\"", "9600.5"});
    row("local port beyond 16 bits", "{\"local-port\": 99999}",
        {"\"local-port\": expected a whole number from 1 to 65535 or \"random\", got 99999"});
    row("local port 0 in mode UDP", "{\"local-port\": 0}", {"\"local-port\"", "\"random\"", "\"tcp-client\" only"});
    row("random in mode UDP", "{\"local-port\": \"random\"}", {"\"local-port\"", "the mode is \"udp\""});
    row("remote port 0", "{\"remote-port\": 0}", {"\"remote-port\"", "from 1 to 65535", "got 0"});
    row("remote port random", "{\"remote-port\": \"random\"}", {"\"remote-port\"", "got \"random\""});
    row("unknown mode", "{\"mode\": \"tcp\"}",
        {"\"mode\": expected \"udp\", \"tcp-client\", \"udp-server\" or \"tcp-server\", got \"tcp\""});
    row("mode as its index", "{\"mode\": 3}", {"\"mode\"", "got 3"});
    row("ip type as a number", "{\"ip-type\": 1}", {"\"ip-type\": expected \"static\" or \"dhcp\", got 1"});
    row("unknown parity", "{\"parity\": \"stick\"}",
        {"\"parity\": expected \"none\", \"odd\", \"even\", \"mark\" or \"space\", got \"stick\""});
    row("4 data bits", "{\"data-bits\": 4}", {"\"data-bits\": expected 5, 6, 7 or 8, got 4"});
    row("line format beyond 6 bits", "{\"line-format\": 64}", {"\"line-format\"", "from 0 to 63", "got 64"});
    row("line format that the data bits contradict", "{\"line-format\": 3, \"data-bits\": 7}",
        {"\"line-format\" 3 does not say what \"data-bits\" 7 says"});
    row("data bits as text", "{\"data-bits\": \"8\"}", {"\"data-bits\"", "got \"8\""});
    row("one and a half stop bits", "{\"stop-bits\": 1.5}", {"\"stop-bits\": expected 1 or 2, got 1.5"});
    row("modbus as a boolean", "{\"modbus\": true}", {"\"modbus\": expected \"off\" or \"on\", got true"});
    row("address of three parts", "{\"ip\": \"192.168.1\"}", {"\"ip\": expected an IPv4 address"});
    row("address with a blank", "{\"mask\": \"255.255.255.0 \"}", {"\"mask\""});
    row("address in Arabic-Indic digits", "{\"gateway\": \"١٩٢.168.1.1\"}", {"\"gateway\""});
    row("address as a list", "{\"remote-ip\": [192, 168, 1, 1]}", {"\"remote-ip\"", "got an array"});
    row("MAC with separators", "{\"mac\": \"02:00:4B:53:00:01\"}", {"\"mac\": expected 12 hexadecimal digits"});
    row("version part beyond 32 bits", "{\"version\": \"1.0.0.4294967297\"}",
        {"\"version\": expected four numbers from 0 to 15"});
    row("version part beyond a nibble", "{\"version\": \"1.0.16.0\"}", {"\"version\""});
    row("odd name-hex", "{\"name-hex\": \"B1C3D\"}", {"\"name-hex\": expected 1 to 10 bytes"});
    row("name-hex of 11 bytes", "{\"name-hex\": \"00112233445566778899AA\"}", {"\"name-hex\""});
    row("name as a number", "{\"name\": 5}", {"\"name\"", "got 5"});
    row("name with a zero character", "{\"name\": \"A\\u0000B\"}", {"\"name\""});
    row("source address as a number", "{\"source-ip\": 5}", {"\"source-ip\""});
}

void TestModuleJson::refusalsNameTheKeyAndWhatItTakes()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, fragments);

    QJsonParseError parseError;
    const QJsonObject object = QJsonDocument::fromJson(json, &parseError).object();
    QCOMPARE(parseError.error, QJsonParseError::NoError);
    const DeviceRecord untouched = fromReply(sendableModule(), 0x03, nameBytes("4142"));
    DeviceRecord out = untouched;
    QString error;
    QVERIFY(!moduleFromJson(object, sendableModule(), &out, &error));
    for (const QString &fragment : fragments)
        QVERIFY2(error.contains(fragment), qPrintable(error));
    QCOMPARE(out, untouched);
}

// A mode, parity and so on that no JSON value stands for could be listed but never written back.
void TestModuleJson::everySettingHasOneValueThatReadsBack()
{
    const struct {
        QMetaEnum meta;
        const char *key;
        void (*set)(DeviceRecord &, int);
        int (*get)(const DeviceRecord &);
    } settings[] = {
        {QMetaEnum::fromType<Module::WorkMode>(), "mode",
         [](DeviceRecord &r, int v) { r.workMode = Module::WorkMode(v); },
         [](const DeviceRecord &r) { return int(r.workMode); }},
        {QMetaEnum::fromType<Module::IpType>(), "ip-type", [](DeviceRecord &r, int v) { r.ipType = Module::IpType(v); },
         [](const DeviceRecord &r) { return int(r.ipType); }},
        {QMetaEnum::fromType<Module::Parity>(), "parity", [](DeviceRecord &r, int v) { r.parity = Module::Parity(v); },
         [](const DeviceRecord &r) { return int(r.parity); }},
        {QMetaEnum::fromType<Module::DataBits>(), "data-bits",
         [](DeviceRecord &r, int v) { r.dataBits = Module::DataBits(v); },
         [](const DeviceRecord &r) { return int(r.dataBits); }},
        {QMetaEnum::fromType<Module::StopBits>(), "stop-bits",
         [](DeviceRecord &r, int v) { r.stopBits = Module::StopBits(v); },
         [](const DeviceRecord &r) { return int(r.stopBits); }},
        {QMetaEnum::fromType<Module::ModbusConvert>(), "modbus",
         [](DeviceRecord &r, int v) { r.modbusConvert = Module::ModbusConvert(v); },
         [](const DeviceRecord &r) { return int(r.modbusConvert); }},
    };
    for (const auto &setting : settings) {
        QSet<QString> written;
        for (int i = 0; i < setting.meta.keyCount(); ++i) {
            DeviceRecord record = sendableModule();
            setting.set(record, setting.meta.value(i));
            const QJsonValue value = moduleToJson(record).value(QLatin1String(setting.key));
            QVERIFY2(value.isString() || value.isDouble(), setting.meta.key(i));
            written.insert(QString::fromUtf8(QJsonDocument(QJsonObject {{"v", value}}).toJson()));

            DeviceRecord read;
            QString error;
            QVERIFY2(moduleFromJson(QJsonObject {{QLatin1String(setting.key), value}}, sendableModule(), &read, &error),
                     qPrintable(error));
            QCOMPARE(setting.get(read), setting.meta.value(i));
        }
        QCOMPARE(written.size(), setting.meta.keyCount());
    }
}

void TestModuleJson::fieldAssignmentsTakeTheJsonValuesAsText_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("written"); // the key's value in the JSON form afterwards

    QTest::newRow("mode") << "mode"
                          << "tcp-server" << QByteArray("\"tcp-server\"");
    QTest::newRow("ip type") << "ip-type"
                             << "dhcp" << QByteArray("\"dhcp\"");
    QTest::newRow("address, leading zeros") << "ip"
                                            << "192.168.001.020" << QByteArray("\"192.168.1.20\"");
    QTest::newRow("mask") << "mask"
                          << "255.255.0.0" << QByteArray("\"255.255.0.0\"");
    QTest::newRow("gateway") << "gateway"
                             << "10.1.1.1" << QByteArray("\"10.1.1.1\"");
    QTest::newRow("remote address") << "remote-ip"
                                    << "10.1.1.2" << QByteArray("\"10.1.1.2\"");
    QTest::newRow("random local port") << "local-port"
                                       << "random" << QByteArray("\"random\"");
    QTest::newRow("local port") << "local-port"
                                << "502" << QByteArray("502");
    QTest::newRow("remote port at the top") << "remote-port"
                                            << "65535" << QByteArray("65535");
    QTest::newRow("baud at the bottom") << "baud"
                                        << "100" << QByteArray("100");
    QTest::newRow("parity") << "parity"
                            << "even" << QByteArray("\"even\"");
    QTest::newRow("data bits") << "data-bits"
                               << "7" << QByteArray("7");
    QTest::newRow("stop bits") << "stop-bits"
                               << "2" << QByteArray("2");
    QTest::newRow("modbus") << "modbus"
                            << "on" << QByteArray("\"on\"");
    QTest::newRow("Chinese name") << "name" << QStringLiteral("泵站1") << QByteArray("\"泵站1\"");
    QTest::newRow("name bytes") << "name-hex"
                                << "B1C3D5BE31" << QByteArray("\"B1C3D5BE310000000000\"");
}

void TestModuleJson::fieldAssignmentsTakeTheJsonValuesAsText()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, written);

    DeviceRecord record = sendableModule();
    record.workMode = Module::TcpClient; // the one mode that takes "random"
    const DeviceRecord before = record;
    QString error;
    QVERIFY2(setModuleField(&record, key, value, &error), qPrintable(error));
    const QJsonObject after = moduleToJson(record);
    QCOMPARE(QJsonDocument(QJsonObject {{"v", after.value(key)}}).toJson(QJsonDocument::Compact),
             "{\"v\":" + written + "}");
    // Nothing else changed.
    QJsonObject rest = after;
    QJsonObject restBefore = moduleToJson(before);
    for (const QString &changed : {key, QStringLiteral("name"), QStringLiteral("name-hex")}) {
        rest.remove(changed);
        restBefore.remove(changed);
    }
    QCOMPARE(rest, restBefore);
    QCOMPARE(record.randomPort, record.localPort == QLatin1String("0"));
}

void TestModuleJson::fieldAssignmentRefusals_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("fragment");

    QTest::newRow("the MAC") << "mac"
                             << "02004B530002"
                             << "\"mac\" cannot be set";
    QTest::newRow("the version") << "version"
                                 << "1.0.0.2"
                                 << "\"version\" cannot be set";
    QTest::newRow("the source address") << "source-ip"
                                        << "10.0.0.1"
                                        << "\"source-ip\" cannot be set";
    QTest::newRow("an unknown key") << "speed"
                                    << "9600"
                                    << "unknown key \"speed\"";
    QTest::newRow("baud beyond 24 bits") << "baud"
                                         << "16777216"
                                         << "\"baud\": expected a whole number from 100";
    QTest::newRow("baud that wraps to 100 in 32 bits") << "baud"
                                                       << "4294967396"
                                                       << "got \"4294967396\"";
    QTest::newRow("baud of 20 digits") << "baud"
                                       << "00000000000000009600"
                                       << "\"baud\"";
    QTest::newRow("baud in full-width digits") << "baud" << QStringLiteral("１１５２００") << "\"baud\"";
    QTest::newRow("local port beyond 16 bits") << "local-port"
                                               << "99999"
                                               << "or \"random\", got \"99999\"";
    QTest::newRow("local port 00000") << "local-port"
                                      << "00000"
                                      << "\"local-port\"";
    QTest::newRow("remote port with a sign") << "remote-port"
                                             << "+80"
                                             << "\"remote-port\"";
    QTest::newRow("data bits with a blank") << "data-bits"
                                            << " 7"
                                            << "\"data-bits\": expected 5, 6, 7 or 8";
    QTest::newRow("random local port in mode UDP") << "local-port"
                                                   << "random"
                                                   << "for mode \"tcp-client\" only";
    QTest::newRow("remote port 0") << "remote-port"
                                   << "0"
                                   << "\"remote-port\": expected a whole number from 1 to 65535, got 0";
    QTest::newRow("mode in capitals") << "mode"
                                      << "TCP-SERVER"
                                      << "\"mode\"";
    QTest::newRow("address out of range") << "ip"
                                          << "192.168.1.256"
                                          << "\"ip\"";
    QTest::newRow("name-hex not hex") << "name-hex"
                                      << "XY"
                                      << "\"name-hex\"";
    QTest::newRow("name of 11 bytes") << "name"
                                      << "ABCDEFGHIJK"
                                      << "\"name\": \"ABCDEFGHIJK\" takes 11 bytes; the module holds 10";
    QTest::newRow("name whose last character does not fit")
        << "name" << QStringLiteral("ABCDEFGH泵") << "takes 11 bytes; the module holds 10";
    QTest::newRow("mask with a gap") << "mask"
                                     << "255.0.255.0"
                                     << "\"mask\": \"255.0.255.0\" is not a subnet mask";
    QTest::newRow("mask ending in a one") << "mask"
                                          << "255.255.255.1"
                                          << "is not a subnet mask";
}

void TestModuleJson::fieldAssignmentRefusals()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, fragment);

    DeviceRecord record = sendableModule();
    const DeviceRecord before = record;
    QString error;
    QVERIFY(!setModuleField(&record, key, value, &error));
    QVERIFY2(error.contains(fragment), qPrintable(error));
    QVERIFY(record == before);
}

// A module's line format goes through JSON whole (6 data bits here); each line setting given changes only its
// own bits.
void TestModuleJson::modulesOwnLineFormatSurvivesUntilALineSettingChanges()
{
    const DeviceRecord module = fromReply(sendableModule(), 0x01, nameBytes("4142"));
    const auto sentFormat = [](const DeviceRecord &record) {
        return quint8(layoutConfigFrame(record, QByteArray()).at(LineFormatOffset));
    };
    QCOMPARE(moduleToJson(module).value(QLatin1String("data-bits")).toInt(), 6);

    DeviceRecord read;
    QString error;
    QVERIFY2(moduleFromJson(moduleToJson(module), module, &read, &error), qPrintable(error));
    QCOMPARE(sentFormat(read), quint8(0x01));
    QVERIFY2(moduleFromJson(QJsonDocument::fromJson("{\"baud\": 19200}").object(), module, &read, &error),
             qPrintable(error));
    QCOMPARE(sentFormat(read), quint8(0x01));
    QVERIFY2(moduleFromJson(QJsonDocument::fromJson("{\"parity\": \"even\"}").object(), module, &read, &error),
             qPrintable(error));
    QCOMPARE(sentFormat(read), quint8(0x19)); // 6E1

    DeviceRecord edited = module;
    QVERIFY2(setModuleField(&edited, QStringLiteral("baud"), QStringLiteral("19200"), &error), qPrintable(error));
    QCOMPARE(sentFormat(edited), quint8(0x01));
    QVERIFY2(setModuleField(&edited, QStringLiteral("data-bits"), QStringLiteral("8"), &error), qPrintable(error));
    QCOMPARE(sentFormat(edited), quint8(0x03)); // asked for 8 data bits, and gets them
}

// Every line-format byte the wire carries goes through a JSON file unchanged, onto a module with another format
// (a 6N1 module here), and its keys name what a UART makes of it.
void TestModuleJson::everyLineFormatByteSurvivesAFile()
{
    const DeviceRecord other = fromReply(sendableModule(), 0x01, nameBytes("4142"));
    const char *const parities[] = {"none", "odd", "none", "even", "none", "mark", "none", "space"};
    for (int format = 0; format <= 0x3F; ++format) {
        const DeviceRecord module = fromReply(sendableModule(), format, nameBytes("4142"));
        const QByteArray file = QJsonDocument(moduleToJson(module)).toJson();
        const QJsonObject json = QJsonDocument::fromJson(file).object();
        QCOMPARE(json.value(QLatin1String("data-bits")).toInt(), 5 + (format & 0x03));
        QCOMPARE(json.value(QLatin1String("stop-bits")).toInt(), (format & 0x04) ? 2 : 1);
        QCOMPARE(json.value(QLatin1String("parity")).toString(), QLatin1String(parities[(format >> 3) & 0x07]));

        DeviceRecord read;
        QString error;
        QVERIFY2(moduleFromJson(json, other, &read, &error), qPrintable(error));
        QCOMPARE(quint8(layoutConfigFrame(read, QByteArray()).at(LineFormatOffset)), quint8(format));
        // And written again, the same file.
        QCOMPARE(QJsonDocument(moduleToJson(read)).toJson(), file);
    }
}

// Files written before 5 and 6 data bits and mark and space parity could be named still load.
void TestModuleJson::oldLineFormatFilesStillLoad_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("sent");
    QTest::newRow("7E1") << QByteArray(R"({"data-bits": 7, "parity": "even", "stop-bits": 1})") << 0x1A;
    QTest::newRow("8O2") << QByteArray(R"({"data-bits": 8, "parity": "odd", "stop-bits": 2})") << 0x0F;
    QTest::newRow("8N1") << QByteArray(R"({"data-bits": 8, "parity": "none", "stop-bits": 1})") << 0x03;
    QTest::newRow("7 data bits alone") << QByteArray(R"({"data-bits": 7})") << 0x02;
}

void TestModuleJson::oldLineFormatFilesStillLoad()
{
    QFETCH(QByteArray, json);
    QFETCH(int, sent);
    DeviceRecord read;
    QString error;
    QVERIFY2(moduleFromJson(QJsonDocument::fromJson(json).object(), sendableModule(), &read, &error),
             qPrintable(error));
    QCOMPARE(quint8(layoutConfigFrame(read, QByteArray()).at(LineFormatOffset)), quint8(sent));
}

// What a module reports goes through a file and back to it, sendable or not: a TCP server's unused remote end,
// a 50-baud line, local port 0 in a server mode.
void TestModuleJson::reportedValuesSurviveAFile()
{
    DeviceRecord module = sendableModule();
    module.workMode = Module::TcpServer;
    module.remoteIp = QStringLiteral("0.0.0.0");
    module.remotePort = QStringLiteral("0");
    module.localPort = QStringLiteral("0");
    module.baudRate = QStringLiteral("50");
    const DeviceRecord reported = fromReply(module, 0x03, nameBytes("4142"));
    DeviceRecord read;
    QString error;
    QVERIFY2(moduleFromJson(moduleToJson(reported), reported, &read, &error), qPrintable(error));
    QCOMPARE(layoutConfigFrame(read, QByteArray()).toHex(' '), layoutConfigFrame(reported, QByteArray()).toHex(' '));
    // Onto a module that reports other values, the same file changes them, and is checked.
    QVERIFY(!moduleFromJson(moduleToJson(reported), sendableModule(), &read, &error));
    QVERIFY2(error.contains(QLatin1String("\"local-port\"")), qPrintable(error));
    QVERIFY(moduleFromJson(moduleToJson(reported), sendableModule(), &read, &error, SendCheck::None));
    QCOMPARE(read.baudRate, QStringLiteral("50"));
}

void TestModuleJson::settableKeysLeaveIdentityAlone()
{
    const QStringList keys = settableModuleKeys();
    QCOMPARE(keys,
             QStringList({"name", "name-hex", "mode", "ip-type", "ip", "mask", "gateway", "local-port", "remote-ip",
                          "remote-port", "baud", "parity", "data-bits", "stop-bits", "line-format", "modbus"}));
    // Each can be given the value it already has.
    const DeviceRecord module = fromReply(sendableModule(), 0x03, nameBytes("B1C3D5BE31"));
    const QJsonObject json = moduleToJson(module);
    DeviceRecord edited = module;
    for (const QString &key : keys) {
        if (!json.contains(key))
            continue;
        const QJsonValue value = json.value(key);
        const QString text = value.isString() ? value.toString() : QString::number(value.toInt());
        QString error;
        QVERIFY2(setModuleField(&edited, key, text, &error), qPrintable(key + QLatin1String(": ") + error));
    }
    QCOMPARE(layoutConfigFrame(edited, QByteArray()).toHex(' '), layoutConfigFrame(module, QByteArray()).toHex(' '));
}

// One policy for surrounding whitespace: none, in a file as on a command line, as the window's fields take none.
void TestModuleJson::lineEndAfterAValueIsRefused()
{
    const DeviceRecord module = fromReply(sendableModule(), 0x03, nameBytes("B1C3D5BE31"));
    const QJsonObject json = moduleToJson(module);
    for (auto it = json.constBegin(); it != json.constEnd(); ++it) {
        if (it.key() == QLatin1String("name") || it.key() == QLatin1String("source-ip"))
            continue; // text of the user's choosing; where the module was seen, which no file sets
        const QString text = it.value().isString() ? it.value().toString() : QString::number(it.value().toInt());
        DeviceRecord read = module;
        QString error;
        QVERIFY2(!moduleFromJson(QJsonObject {{it.key(), text + QLatin1Char('\n')}}, module, &read, &error),
                 qPrintable(it.key()));
        if (settableModuleKeys().contains(it.key()))
            QVERIFY2(!setModuleField(&read, it.key(), text + QLatin1Char('\n'), &error), qPrintable(it.key()));
        QVERIFY(read == module);
    }
}

QTEST_GUILESS_MAIN(TestModuleJson)
#include "tst_modulejson.moc"
