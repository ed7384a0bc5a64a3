#include "modulejson.h"

#include "devicename.h"
#include "frameconstants.h"
#include "framelayout.h"
#include "moduleenums.h"
#include "parameterlimits.h"

#include <QJsonValue>
#include <QRegularExpression>
#include <QVector>

#include <cmath>
#include <functional>
#include <optional>

namespace {

// The words and numbers that stand for each small setting, one table per enum. They are a file format that
// kestrelctl's users script against, so they are spelt out here rather than derived from the enumerators' names.
template<typename Enum> struct NamedValue {
    Enum value;
    const char *name;
};
template<typename Enum> struct NumberedValue {
    Enum value;
    int number;
};

// clang-format off
const NamedValue<Module::WorkMode> workModeNames[] = {
    {Module::Udp, "udp"}, {Module::TcpClient, "tcp-client"},
    {Module::UdpServer, "udp-server"}, {Module::TcpServer, "tcp-server"},
};
const NamedValue<Module::IpType> ipTypeNames[] = {{Module::StaticIp, "static"}, {Module::Dhcp, "dhcp"}};
const NamedValue<Module::Parity> parityNames[] = {
    {Module::NoParity, "none"}, {Module::OddParity, "odd"}, {Module::EvenParity, "even"},
};
const NumberedValue<Module::DataBits> dataBitsNumbers[] = {{Module::SevenDataBits, 7}, {Module::EightDataBits, 8}};
const NumberedValue<Module::StopBits> stopBitsNumbers[] = {{Module::OneStopBit, 1}, {Module::TwoStopBits, 2}};
const NamedValue<Module::ModbusConvert> modbusNames[] = {{Module::ModbusOff, "off"}, {Module::ModbusOn, "on"}};

const struct { ConfigField field; const char *key; } configFieldKeys[] = {
    {ConfigField::Target, "mac"},          {ConfigField::LocalIp, "ip"},
    {ConfigField::SubnetMask, "mask"},     {ConfigField::Gateway, "gateway"},
    {ConfigField::RemoteIp, "remote-ip"},  {ConfigField::LocalPort, "local-port"},
    {ConfigField::RemotePort, "remote-port"}, {ConfigField::BaudRate, "baud"},
};
// clang-format on

const QLatin1String NameKey("name");
const QLatin1String NameHexKey("name-hex");
const QLatin1String RandomPort("random");
constexpr int VersionNumbers = 4;
constexpr int VersionTop = 15; // one nibble each
constexpr int LongestWholeNumber = 15; // digits a double holds exactly

// One value of a small setting: the combo-box index and its JSON form.
struct Choice {
    int index;
    QJsonValue json;
};

template<typename Enum, size_t N> QVector<Choice> choicesOf(const NamedValue<Enum> (&table)[N])
{
    QVector<Choice> choices;
    for (const NamedValue<Enum> &entry : table)
        choices.append({int(entry.value), QJsonValue(QLatin1String(entry.name))});
    return choices;
}

template<typename Enum, size_t N> QVector<Choice> choicesOf(const NumberedValue<Enum> (&table)[N])
{
    QVector<Choice> choices;
    for (const NumberedValue<Enum> &entry : table)
        choices.append({int(entry.value), QJsonValue(entry.number)});
    return choices;
}

// A JSON value as a message quotes it.
QString shown(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return QStringLiteral("\"%1\"").arg(value.toString());
    case QJsonValue::Double: {
        const double number = value.toDouble();
        return std::floor(number) == number && std::fabs(number) < 1e15 ? QString::number(qint64(number))
                                                                        : QString::number(number, 'g', 17);
    }
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("null");
}

// "a", "b" or "c"
QString oneOf(const QStringList &values)
{
    if (values.size() < 2)
        return values.join(QString());
    return QStringList(values.mid(0, values.size() - 1)).join(QStringLiteral(", ")) + QStringLiteral(" or ")
        + values.last();
}

std::optional<qint64> wholeNumber(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::floor(number) != number || std::fabs(number) > 1e15)
        return std::nullopt;
    return qint64(number);
}

bool isAsciiDigits(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    return digits.match(text).hasMatch();
}

// A record's number text as JSON: a number when it is one, else the text itself, which reading refuses.
QJsonValue numberOrText(const QString &text)
{
    if (isAsciiDigits(text) && text.size() <= LongestWholeNumber)
        return QJsonValue(double(text.toLongLong()));
    return QJsonValue(text);
}

std::optional<QByteArray> parseNameHex(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^([0-9A-Fa-f]{2}){1,10}$"));
    if (!pattern.match(text).hasMatch())
        return std::nullopt;
    return QByteArray::fromHex(text.toLatin1()).leftJustified(NameSize, '\0');
}

QByteArray paddedNameField(const QByteArray &field)
{
    return field.leftJustified(NameSize, '\0', true);
}

// The name bytes cannot be told from the name text: the bytes must travel beside it.
bool needsNameHex(const DeviceRecord &record)
{
    if (record.nameField.isEmpty())
        return false;
    const QByteArray utf8 = record.deviceName.toUtf8();
    return utf8.size() > NameSize || utf8.contains('\0')
        || utf8.leftJustified(NameSize, '\0') != paddedNameField(record.nameField);
}

// A name over the bytes it was read from (empty when none): unchanged text keeps them, new text is encoded
// the way they were.
bool applyName(DeviceRecord &record, const QString &name, const QByteArray &knownBytes)
{
    if (!knownBytes.isEmpty() && displayDeviceName(paddedNameField(knownBytes)) == name) {
        record.nameField = paddedNameField(knownBytes);
        record.deviceName = name;
        return true;
    }
    const std::optional<QByteArray> encoded = encodeDeviceName(name, knownBytes);
    if (!encoded)
        return false;
    record.nameField = paddedNameField(*encoded);
    record.deviceName = displayDeviceName(record.nameField);
    return true;
}

void applyNameBytes(DeviceRecord &record, const QByteArray &bytes)
{
    record.nameField = bytes;
    record.deviceName = displayDeviceName(bytes);
}

// How a value typed on a command line becomes a JSON value: digits are a number where the key takes numbers.
enum class TextForm { String, Number };

struct FieldRule {
    QString key;
    QString accepted; // for messages
    bool settable = true;
    bool sighting = false; // where the module was seen, not what it is
    TextForm textForm = TextForm::String;
    std::function<QJsonValue(const DeviceRecord &)> write; // Undefined: not written for this record
    std::function<bool(const QJsonValue &, DeviceRecord &)> read;
};

template<typename Enum>
FieldRule choiceRule(const char *key, Enum DeviceRecord::*member, const QVector<Choice> &choices)
{
    FieldRule rule;
    rule.key = QLatin1String(key);
    QStringList values;
    for (const Choice &choice : choices)
        values << shown(choice.json);
    rule.accepted = oneOf(values);
    rule.textForm = choices.first().json.isDouble() ? TextForm::Number : TextForm::String;
    rule.write = [member, choices](const DeviceRecord &record) {
        for (const Choice &choice : choices) {
            if (choice.index == record.*member)
                return choice.json;
        }
        return QJsonValue(int(record.*member)); // an index no value stands for: reading it back is refused
    };
    rule.read = [member, choices](const QJsonValue &value, DeviceRecord &record) {
        for (const Choice &choice : choices) {
            if (choice.json == value) {
                record.*member = Enum(choice.index);
                return true;
            }
        }
        return false;
    };
    return rule;
}

FieldRule addressRule(const char *key, QString DeviceRecord::*member)
{
    FieldRule rule;
    rule.key = QLatin1String(key);
    rule.accepted = QStringLiteral("an IPv4 address such as \"192.168.1.10\"");
    rule.write = [member](const DeviceRecord &record) { return QJsonValue(record.*member); };
    rule.read = [member](const QJsonValue &value, DeviceRecord &record) {
        const std::optional<Ipv4Octets> octets = parseIpv4(value.toString());
        if (!value.isString() || !octets)
            return false;
        record.*member
            = QStringLiteral("%1.%2.%3.%4").arg((*octets)[0]).arg((*octets)[1]).arg((*octets)[2]).arg((*octets)[3]);
        return true;
    };
    return rule;
}

FieldRule numberRule(const char *key, QString DeviceRecord::*member, int bottom, int top)
{
    FieldRule rule;
    rule.key = QLatin1String(key);
    rule.accepted = QStringLiteral("a whole number from %1 to %2").arg(bottom).arg(top);
    rule.textForm = TextForm::Number;
    rule.write = [member](const DeviceRecord &record) { return numberOrText(record.*member); };
    rule.read = [member, bottom, top](const QJsonValue &value, DeviceRecord &record) {
        const std::optional<qint64> number = wholeNumber(value);
        if (!number || *number < bottom || *number > top)
            return false;
        record.*member = QString::number(*number);
        return true;
    };
    return rule;
}

FieldRule localPortRule()
{
    FieldRule rule = numberRule("local-port", &DeviceRecord::localPort, PortBottom, PortTop);
    rule.accepted += QStringLiteral(" or \"%1\"").arg(RandomPort);
    rule.write = [](const DeviceRecord &record) {
        return record.localPort == QLatin1String("0") ? QJsonValue(RandomPort) : numberOrText(record.localPort);
    };
    const auto readNumber = rule.read;
    rule.read = [readNumber](const QJsonValue &value, DeviceRecord &record) {
        if (value == QJsonValue(RandomPort)) {
            record.localPort = QStringLiteral("0");
            record.randomPort = true;
            return true;
        }
        if (!readNumber(value, record))
            return false;
        record.randomPort = false;
        return true;
    };
    return rule;
}

// Where the module was seen: written when known, accepted and ignored on reading.
FieldRule sightingRule(const char *key, std::function<QJsonValue(const DeviceRecord &)> write)
{
    FieldRule rule;
    rule.key = QLatin1String(key);
    rule.accepted = QStringLiteral("text");
    rule.settable = false;
    rule.sighting = true;
    rule.write = std::move(write);
    rule.read = [](const QJsonValue &value, DeviceRecord &) { return value.isString(); };
    return rule;
}

QVector<FieldRule> makeFieldRules()
{
    QVector<FieldRule> rules;

    FieldRule mac;
    mac.key = QStringLiteral("mac");
    mac.accepted = QStringLiteral("%1 hexadecimal digits").arg(MacDigits);
    mac.settable = false;
    mac.write = [](const DeviceRecord &record) { return QJsonValue(record.macAddress); };
    mac.read = [](const QJsonValue &value, DeviceRecord &record) {
        if (!value.isString() || !isMacAddressText(value.toString()))
            return false;
        record.macAddress = value.toString().toUpper();
        return true;
    };
    rules << mac;

    // The name and its bytes are read together (see moduleFromJson); these rules write them and take edits.
    FieldRule name;
    name.key = NameKey;
    name.accepted = QStringLiteral("text in the name's encoding (UTF-8, or GB18030 for a GB18030 name); "
                                   "the module keeps the first %1 bytes")
                        .arg(NameSize);
    name.write = [](const DeviceRecord &record) { return QJsonValue(record.deviceName); };
    name.read = [](const QJsonValue &value, DeviceRecord &record) {
        return value.isString() && applyName(record, value.toString(), record.nameField);
    };
    rules << name;

    FieldRule nameHex;
    nameHex.key = NameHexKey;
    nameHex.accepted = QStringLiteral("1 to %1 bytes as hexadecimal digits").arg(NameSize);
    nameHex.write = [](const DeviceRecord &record) {
        return needsNameHex(record) ? QJsonValue(QLatin1String(paddedNameField(record.nameField).toHex().toUpper()))
                                    : QJsonValue(QJsonValue::Undefined);
    };
    nameHex.read = [](const QJsonValue &value, DeviceRecord &record) {
        const std::optional<QByteArray> bytes = parseNameHex(value.toString());
        if (!value.isString() || !bytes)
            return false;
        applyNameBytes(record, *bytes);
        return true;
    };
    rules << nameHex;

    FieldRule version;
    version.key = QStringLiteral("version");
    version.accepted = QStringLiteral("four numbers from 0 to %1 joined by dots, such as \"1.0.0.1\"").arg(VersionTop);
    version.settable = false;
    version.write = [](const DeviceRecord &record) { return QJsonValue(record.version); };
    version.read = [](const QJsonValue &value, DeviceRecord &record) {
        if (!value.isString() || !isFirmwareVersion(value.toString()))
            return false;
        QStringList numbers;
        for (const QString &part : value.toString().split(QLatin1Char('.')))
            numbers << QString::number(part.toInt());
        record.version = numbers.join(QLatin1Char('.'));
        return true;
    };
    rules << version;

    rules << choiceRule("mode", &DeviceRecord::workMode, choicesOf(workModeNames));
    rules << choiceRule("ip-type", &DeviceRecord::ipType, choicesOf(ipTypeNames));
    rules << addressRule("ip", &DeviceRecord::localIp);
    rules << addressRule("mask", &DeviceRecord::subnetMask);
    rules << addressRule("gateway", &DeviceRecord::gateway);
    rules << localPortRule();
    rules << addressRule("remote-ip", &DeviceRecord::remoteIp);
    rules << numberRule("remote-port", &DeviceRecord::remotePort, PortBottom, PortTop);
    rules << numberRule("baud", &DeviceRecord::baudRate, BaudBottom, BaudTop);
    rules << choiceRule("parity", &DeviceRecord::parity, choicesOf(parityNames));
    rules << choiceRule("data-bits", &DeviceRecord::dataBits, choicesOf(dataBitsNumbers));
    rules << choiceRule("stop-bits", &DeviceRecord::stopBits, choicesOf(stopBitsNumbers));
    rules << choiceRule("modbus", &DeviceRecord::modbusConvert, choicesOf(modbusNames));

    rules << sightingRule("source-ip", [](const DeviceRecord &record) {
        return record.sourceIp.isEmpty() ? QJsonValue(QJsonValue::Undefined) : QJsonValue(record.sourceIp);
    });
    // Only the adapter's index is known here; programs that can name the adapter write this key.
    rules << sightingRule("interface", [](const DeviceRecord &) { return QJsonValue(QJsonValue::Undefined); });
    return rules;
}

const QVector<FieldRule> &fieldRules()
{
    static const QVector<FieldRule> rules = makeFieldRules();
    return rules;
}

const FieldRule *findRule(const QString &key)
{
    for (const FieldRule &rule : fieldRules()) {
        if (rule.key == key)
            return &rule;
    }
    return nullptr;
}

QString allKeys()
{
    QStringList keys;
    for (const FieldRule &rule : fieldRules())
        keys << rule.key;
    return keys.join(QStringLiteral(", "));
}

QString unknownKeyError(const QString &key)
{
    return QStringLiteral("unknown key \"%1\"; the keys are %2").arg(key, allKeys());
}

QString valueError(const FieldRule &rule, const QString &given)
{
    return QStringLiteral("\"%1\": expected %2, got %3").arg(rule.key, rule.accepted, given);
}

bool sameLineFormat(const DeviceRecord &a, const DeviceRecord &b)
{
    return a.parity == b.parity && a.dataBits == b.dataBits && a.stopBits == b.stopBits;
}

// A finished record must fit in a configuration frame; otherwise the message names the key that does not.
bool checkSendable(const DeviceRecord &record, QString *error)
{
    const ConfigField invalid = findInvalidConfigField(record);
    if (invalid == ConfigField::None)
        return true;
    const FieldRule *rule = findRule(moduleKey(invalid));
    if (!rule) {
        *error = QStringLiteral("the module cannot be sent in a configuration frame");
        return false;
    }
    const QJsonValue value = rule->write(record);
    if (value.isString() && value.toString().isEmpty())
        *error = QStringLiteral("\"%1\" is missing; expected %2").arg(rule->key, rule->accepted);
    else
        *error = valueError(*rule, shown(value));
    return false;
}

// The keys of the rules that pass, in table order.
QStringList keysWhere(const std::function<bool(const FieldRule &)> &passes)
{
    QStringList keys;
    for (const FieldRule &rule : fieldRules()) {
        if (passes(rule))
            keys << rule.key;
    }
    return keys;
}

} // namespace

QJsonObject moduleToJson(const DeviceRecord &record)
{
    QJsonObject object;
    for (const FieldRule &rule : fieldRules()) {
        const QJsonValue value = rule.write(record);
        if (!value.isUndefined())
            object.insert(rule.key, value);
    }
    return object;
}

bool moduleFromJson(const QJsonObject &object, const DeviceRecord &base, DeviceRecord *out, QString *error)
{
    DeviceRecord result = base;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        const FieldRule *rule = findRule(it.key());
        if (!rule) {
            *error = unknownKeyError(it.key());
            return false;
        }
        if (rule->key == NameKey || rule->key == NameHexKey)
            continue;
        if (!rule->read(it.value(), result)) {
            *error = valueError(*rule, shown(it.value()));
            return false;
        }
    }

    // The bytes come first, so that a name still showing them keeps them and an edited one is encoded alike.
    const QJsonValue nameHex = object.value(NameHexKey);
    if (!nameHex.isUndefined() && !findRule(NameHexKey)->read(nameHex, result)) {
        *error = valueError(*findRule(NameHexKey), shown(nameHex));
        return false;
    }
    const QJsonValue name = object.value(NameKey);
    if (!name.isUndefined() && !findRule(NameKey)->read(name, result)) {
        *error = valueError(*findRule(NameKey), shown(name));
        return false;
    }

    if (!sameLineFormat(result, base))
        result.reportedLineFormat = -1;
    if (!checkSendable(result, error))
        return false;
    *out = result;
    return true;
}

bool setModuleField(DeviceRecord *record, const QString &key, const QString &valueText, QString *error)
{
    const FieldRule *rule = findRule(key);
    if (!rule) {
        *error = unknownKeyError(key);
        return false;
    }
    if (!rule->settable) {
        *error = QStringLiteral("\"%1\" cannot be set; the keys that can are %2")
                     .arg(key, settableModuleKeys().join(QStringLiteral(", ")));
        return false;
    }
    const bool typedNumber
        = rule->textForm == TextForm::Number && isAsciiDigits(valueText) && valueText.size() <= LongestWholeNumber;
    const QJsonValue value = typedNumber ? QJsonValue(double(valueText.toLongLong())) : QJsonValue(valueText);

    DeviceRecord result = *record;
    if (!rule->read(value, result)) {
        *error = valueError(*rule, QStringLiteral("\"%1\"").arg(valueText));
        return false;
    }
    if (isLineSettingKey(key))
        result.reportedLineFormat = -1;
    if (!checkSendable(result, error))
        return false;
    *record = result;
    return true;
}

bool isLineSettingKey(const QString &key)
{
    return key == QLatin1String("parity") || key == QLatin1String("data-bits") || key == QLatin1String("stop-bits");
}

QStringList identityModuleKeys()
{
    return keysWhere([](const FieldRule &rule) { return !rule.settable && !rule.sighting; });
}

QStringList sightingModuleKeys()
{
    return keysWhere([](const FieldRule &rule) { return rule.sighting; });
}

QStringList settableModuleKeys()
{
    return keysWhere([](const FieldRule &rule) { return rule.settable; });
}

QString moduleKey(ConfigField field)
{
    for (const auto &entry : configFieldKeys) {
        if (entry.field == field)
            return QLatin1String(entry.key);
    }
    return QString();
}

bool isFirmwareVersion(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^([0-9]{1,2})\\.([0-9]{1,2})\\.([0-9]{1,2})\\.([0-9]{1,2})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    for (int part = 1; part <= VersionNumbers; ++part) {
        if (match.captured(part).toInt() > VersionTop)
            return false;
    }
    return true;
}
