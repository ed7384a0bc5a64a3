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

// One value of a small setting: the combo-box index and its JSON form.
struct Choice {
    int index;
    QJsonValue json;
};

// The words and numbers that stand for each small setting, one table per enum. They are a file format that
// kestrelctl's users script against, so they are spelt out here rather than derived from the enumerators' names.
template<typename Enum> struct NamedValue {
    Enum value;
    const char *name;
};

// clang-format off
const NamedValue<Module::WorkMode> workModeNames[] = {
    {Module::Udp, "udp"}, {Module::TcpClient, "tcp-client"},
    {Module::UdpServer, "udp-server"}, {Module::TcpServer, "tcp-server"},
};
const NamedValue<Module::IpType> ipTypeNames[] = {{Module::StaticIp, "static"}, {Module::Dhcp, "dhcp"}};
// The line-format byte as the wire carries it (bits 0-5, like a 16550 line control register): the JSON form names
// every value of each part, including those the form's boxes cannot show.
struct LineFormatPart {
    quint8 mask;
    QVector<Choice> values; // the bits (as the index) and their JSON form
};
const NamedValue<Module::ModbusConvert> modbusNames[] = {{Module::ModbusOff, "off"}, {Module::ModbusOn, "on"}};

const struct { ConfigField field; const char *key; } configFieldKeys[] = {
    {ConfigField::Target, "mac"},          {ConfigField::LocalIp, "ip"},
    {ConfigField::SubnetMask, "mask"},     {ConfigField::Gateway, "gateway"},
    {ConfigField::RemoteIp, "remote-ip"},  {ConfigField::LocalPort, "local-port"},
    {ConfigField::RemotePort, "remote-port"}, {ConfigField::BaudRate, "baud"},
};
// clang-format on

const QLatin1String NameKey(NameModuleKey);
const QLatin1String LineFormatKey("line-format");
const QLatin1String NameHexKey(NameHexModuleKey);
const QLatin1String RandomPort("random");
constexpr int VersionNumbers = 4;
constexpr int VersionTop = 15; // one nibble each
constexpr int LongestWholeNumber = 15; // digits a double holds exactly

template<typename Enum, size_t N> QVector<Choice> choicesOf(const NamedValue<Enum> (&table)[N])
{
    QVector<Choice> choices;
    for (const NamedValue<Enum> &entry : table)
        choices.append({int(entry.value), QJsonValue(QLatin1String(entry.name))});
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
    static const QRegularExpression digits(QStringLiteral("\\A[0-9]+\\z"));
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
    static const QRegularExpression pattern(QStringLiteral("\\A([0-9A-Fa-f]{2}){1,10}\\z"));
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
    EditedFields edits; // what giving this key changes, and so which parameters are checked before sending
    // Why a value given for this key cannot be sent as given although it reads (empty: it can). Asked only of a
    // value that changes what the module reported: what nobody touched goes back as it came.
    std::function<QString(const QJsonValue &given, const DeviceRecord &before)> refuseEdit;
};

// A subnet mask is ones, then zeros: a gap leaves a module with a subnet nobody can route to.
bool isContiguousMask(const Ipv4Octets &octets)
{
    const quint32 mask = quint32(octets[0]) << 24 | quint32(octets[1]) << 16 | quint32(octets[2]) << 8 | octets[3];
    return (~mask & (~mask + 1)) == 0; // the zeros below the last one form a run to the end
}

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

FieldRule addressRule(const char *key, QString DeviceRecord::*member, EditedField edits)
{
    FieldRule rule;
    rule.key = QLatin1String(key);
    rule.edits = edits;
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

// Reads every value the wire can carry (0 to wireTop), so that what a module reported survives a file; what may be
// sent when a user gives it (bottom to top, the message's range) is checked with the other edits.
FieldRule numberRule(const char *key, QString DeviceRecord::*member, int bottom, int top, int wireTop)
{
    FieldRule rule;
    rule.key = QLatin1String(key);
    rule.accepted = QStringLiteral("a whole number from %1 to %2").arg(bottom).arg(top);
    rule.textForm = TextForm::Number;
    rule.write = [member](const DeviceRecord &record) { return numberOrText(record.*member); };
    rule.read = [member, wireTop](const QJsonValue &value, DeviceRecord &record) {
        const std::optional<qint64> number = wholeNumber(value);
        if (!number || *number < 0 || *number > wireTop)
            return false;
        record.*member = QString::number(*number);
        return true;
    };
    return rule;
}

FieldRule localPortRule()
{
    FieldRule rule = numberRule("local-port", &DeviceRecord::localPort, PortBottom, PortTop, PortTop);
    rule.edits = EditedField::LocalPort | EditedField::RandomPort;
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
        record.randomPort = record.localPort == QLatin1String("0"); // as a reply with local port 0 reads
        return true;
    };
    return rule;
}

// The byte a configuration would carry: the module's own while the record's boxes still show it.
quint8 effectiveLineFormat(const DeviceRecord &record)
{
    return lineFormatByte(record) & LineFormatMask;
}

// A byte the form's boxes can build is kept as their settings alone; any other one is kept as the module's own
// byte (reportedLineFormat), which configurations send while the boxes still show what it means. Giving the byte
// the record already sends changes nothing.
void setLineFormat(DeviceRecord &record, quint8 format)
{
    if (format != effectiveLineFormat(record))
        setLineFormatByte(record, format);
}

// Parity "none" is the enable bit clear; the even and stick bits then mean nothing to a UART but are still
// carried, by "line-format".
quint8 partOf(quint8 format, const LineFormatPart &part)
{
    if (part.mask == ParityMask && !(format & ParityEnable))
        return 0;
    return format & part.mask;
}

// One part of the line-format byte (data bits, parity, stop bits): the other bits stay as they are.
FieldRule lineFormatRule(const char *key, const LineFormatPart &part)
{
    FieldRule rule;
    rule.key = QLatin1String(key);
    QStringList values;
    for (const Choice &choice : part.values)
        values << shown(choice.json);
    rule.accepted = oneOf(values);
    rule.textForm = part.values.first().json.isDouble() ? TextForm::Number : TextForm::String;
    rule.write = [part](const DeviceRecord &record) {
        const quint8 bits = partOf(effectiveLineFormat(record), part);
        for (const Choice &choice : part.values) {
            if (choice.index == bits)
                return choice.json;
        }
        return QJsonValue(QJsonValue::Undefined); // cannot happen: every value of the part is named
    };
    rule.read = [part](const QJsonValue &value, DeviceRecord &record) {
        for (const Choice &choice : part.values) {
            if (choice.json == value) {
                setLineFormat(record, quint8((effectiveLineFormat(record) & ~part.mask) | choice.index));
                return true;
            }
        }
        return false;
    };
    return rule;
}

QVector<Choice> numbered(std::initializer_list<std::pair<int, int>> values)
{
    QVector<Choice> choices;
    for (const auto &value : values)
        choices.append({value.first, QJsonValue(value.second)});
    return choices;
}

QVector<Choice> named(std::initializer_list<std::pair<int, const char *>> values)
{
    QVector<Choice> choices;
    for (const auto &value : values)
        choices.append({value.first, QJsonValue(QLatin1String(value.second))});
    return choices;
}

// The whole byte, written only when parity "none" leaves bits behind that the three keys cannot say.
FieldRule lineFormatByteRule()
{
    FieldRule rule;
    rule.key = LineFormatKey;
    rule.accepted = QStringLiteral("the serial line-format byte, a whole number from 0 to %1").arg(LineFormatMask);
    rule.textForm = TextForm::Number;
    rule.write = [](const DeviceRecord &record) {
        const quint8 format = effectiveLineFormat(record);
        const bool saidByKeys = (format & ParityEnable) || !(format & ParityMask);
        return saidByKeys ? QJsonValue(QJsonValue::Undefined) : QJsonValue(int(format));
    };
    rule.read = [](const QJsonValue &value, DeviceRecord &record) {
        const std::optional<qint64> number = wholeNumber(value);
        if (!number || *number < 0 || *number > LineFormatMask)
            return false;
        setLineFormat(record, quint8(*number));
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
    // The module would keep only the first bytes: a name is sent whole or not at all.
    name.refuseEdit = [](const QJsonValue &given, const DeviceRecord &before) {
        const std::optional<int> size = encodedDeviceNameSize(given.toString(), before.nameField);
        if (!size || *size <= NameSize)
            return QString();
        return QStringLiteral("\"name\": %1 takes %2 bytes; the module holds %3")
            .arg(shown(given))
            .arg(*size)
            .arg(NameSize);
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

    FieldRule mode = choiceRule("mode", &DeviceRecord::workMode, choicesOf(workModeNames));
    mode.edits = EditedField::WorkMode;
    rules << mode;
    rules << choiceRule("ip-type", &DeviceRecord::ipType, choicesOf(ipTypeNames));
    rules << addressRule("ip", &DeviceRecord::localIp, EditedField::LocalIp);
    FieldRule mask = addressRule("mask", &DeviceRecord::subnetMask, EditedField::SubnetMask);
    mask.refuseEdit = [](const QJsonValue &given, const DeviceRecord &) {
        const std::optional<Ipv4Octets> octets = parseIpv4(given.toString());
        if (!octets || isContiguousMask(*octets))
            return QString();
        return QStringLiteral("\"mask\": %1 is not a subnet mask: its ones must come first, without a gap, such as "
                              "255.255.255.0")
            .arg(shown(given));
    };
    rules << mask;
    rules << addressRule("gateway", &DeviceRecord::gateway, EditedField::Gateway);
    rules << localPortRule();
    rules << addressRule("remote-ip", &DeviceRecord::remoteIp, EditedField::RemoteIp);
    FieldRule remotePort = numberRule("remote-port", &DeviceRecord::remotePort, PortBottom, PortTop, PortTop);
    remotePort.edits = EditedField::RemotePort;
    rules << remotePort;
    FieldRule baud = numberRule("baud", &DeviceRecord::baudRate, BaudBottom, BaudTop, BaudWireTop);
    baud.edits = EditedField::BaudRate;
    rules << baud;
    // clang-format off
    rules << lineFormatRule("parity", {ParityMask, named({{0x00, "none"}, {OddParityBits, "odd"},
                                                          {EvenParityBits, "even"}, {MarkParityBits, "mark"},
                                                          {SpaceParityBits, "space"}})});
    rules << lineFormatRule("data-bits", {WordLengthMask, numbered({{0, 5}, {1, 6}, {2, 7}, {3, 8}})});
    rules << lineFormatRule("stop-bits", {TwoStopBitsFlag, numbered({{0, 1}, {TwoStopBitsFlag, 2}})});
    // clang-format on
    rules << lineFormatByteRule();
    rules << choiceRule("modbus", &DeviceRecord::modbusConvert, choicesOf(modbusNames));

    rules << sightingRule("source-ip", [](const DeviceRecord &record) {
        return record.sourceIp.isEmpty() ? QJsonValue(QJsonValue::Undefined) : QJsonValue(record.sourceIp);
    });
    // Only the adapter's index is known here; programs that can name the adapter write this key.
    rules << sightingRule(InterfaceModuleKey, [](const DeviceRecord &) { return QJsonValue(QJsonValue::Undefined); });
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

// What a user gave must fit in a configuration frame; otherwise the message names the key that does not.
bool checkSendable(const DeviceRecord &record, EditedFields edited, QString *error)
{
    const ConfigField invalid = findInvalidConfigField(record, edited);
    if (invalid == ConfigField::None)
        return true;
    const FieldRule *rule = findRule(moduleKey(invalid));
    if (!rule) {
        *error = QStringLiteral("the module cannot be sent in a configuration frame");
        return false;
    }
    const QJsonValue value = rule->write(record);
    if (invalid == ConfigField::LocalPort && value == QJsonValue(RandomPort)) {
        *error = QStringLiteral("\"%1\": \"%2\" (local port 0) is for mode \"tcp-client\" only; the mode is %3")
                     .arg(rule->key, RandomPort, shown(findRule(QStringLiteral("mode"))->write(record)));
        return false;
    }
    if (value.isString() && value.toString().isEmpty())
        *error = QStringLiteral("\"%1\" is missing; expected %2").arg(rule->key, rule->accepted);
    else
        *error = valueError(*rule, shown(value));
    return false;
}

// A value given that changed the record, asked whether it can be sent as given.
bool checkEdit(const FieldRule &rule, const QJsonValue &given, const DeviceRecord &before, const DeviceRecord &after,
               QString *error)
{
    if (!rule.refuseEdit || (rule.write(after) == rule.write(before) && after.nameField == before.nameField))
        return true;
    const QString refusal = rule.refuseEdit(given, before);
    if (refusal.isEmpty())
        return true;
    *error = refusal;
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

bool moduleFromJson(const QJsonObject &object, const DeviceRecord &base, DeviceRecord *out, QString *error,
                    SendCheck check)
{
    DeviceRecord result = base;
    EditedFields edited;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        const FieldRule *rule = findRule(it.key());
        if (!rule) {
            *error = unknownKeyError(it.key());
            return false;
        }
        if (rule->key == NameKey || rule->key == NameHexKey || rule->key == LineFormatKey)
            continue;
        const DeviceRecord before = result;
        if (!rule->read(it.value(), result)) {
            *error = valueError(*rule, shown(it.value()));
            return false;
        }
        if (check == SendCheck::ChangedFields && !checkEdit(*rule, it.value(), before, result, error))
            return false;
        // A value the module already has is not an edit: a file exported from it goes back as it came.
        if (check == SendCheck::GivenFields || rule->write(result) != rule->write(base))
            edited |= rule->edits;
    }

    // The whole line-format byte, when given, must say what the three keys beside it say.
    const QJsonValue lineFormat = object.value(LineFormatKey);
    if (!lineFormat.isUndefined()) {
        const FieldRule *byteRule = findRule(LineFormatKey);
        const DeviceRecord named = result;
        if (!byteRule->read(lineFormat, result)) {
            *error = valueError(*byteRule, shown(lineFormat));
            return false;
        }
        for (const char *const part : {"data-bits", "parity", "stop-bits"}) {
            const QString key = QLatin1String(part);
            if (object.contains(key) && findRule(key)->write(result) != findRule(key)->write(named)) {
                *error = QStringLiteral("\"%1\" %2 does not say what \"%3\" %4 says")
                             .arg(LineFormatKey, shown(lineFormat), key, shown(object.value(key)));
                return false;
            }
        }
    }

    // The bytes come first, so that a name still showing them keeps them and an edited one is encoded alike.
    const QJsonValue nameHex = object.value(NameHexKey);
    if (!nameHex.isUndefined() && !findRule(NameHexKey)->read(nameHex, result)) {
        *error = valueError(*findRule(NameHexKey), shown(nameHex));
        return false;
    }
    const QJsonValue name = object.value(NameKey);
    const DeviceRecord unnamed = result;
    if (!name.isUndefined() && !findRule(NameKey)->read(name, result)) {
        *error = valueError(*findRule(NameKey), shown(name));
        return false;
    }
    if (!name.isUndefined() && check == SendCheck::ChangedFields
        && !checkEdit(*findRule(NameKey), name, unnamed, result, error))
        return false;

    if (check != SendCheck::None && !checkSendable(result, edited, error))
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
    const QJsonValue value = typedModuleValue(key, valueText);

    DeviceRecord result = *record;
    if (!rule->read(value, result)) {
        *error = valueError(*rule, QStringLiteral("\"%1\"").arg(valueText));
        return false;
    }
    if (!checkEdit(*rule, value, *record, result, error))
        return false;
    // Only what the command line names is checked: the module's other values go back as it reported them.
    if (!checkSendable(result, rule->edits, error))
        return false;
    *record = result;
    return true;
}

QJsonValue typedModuleValue(const QString &key, const QString &valueText)
{
    const FieldRule *rule = findRule(key);
    const bool typedNumber = rule && rule->textForm == TextForm::Number && isAsciiDigits(valueText)
        && valueText.size() <= LongestWholeNumber;
    return typedNumber ? QJsonValue(double(valueText.toLongLong())) : QJsonValue(valueText);
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
        QStringLiteral("\\A([0-9]{1,2})\\.([0-9]{1,2})\\.([0-9]{1,2})\\.([0-9]{1,2})\\z"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    for (int part = 1; part <= VersionNumbers; ++part) {
        if (match.captured(part).toInt() > VersionTop)
            return false;
    }
    return true;
}

namespace {

quint32 addressValue(const QString &text)
{
    const std::optional<Ipv4Octets> octets = parseIpv4(text);
    if (!octets)
        return 0;
    return quint32((*octets)[0]) << 24 | quint32((*octets)[1]) << 16 | quint32((*octets)[2]) << 8 | (*octets)[3];
}

QString addressText(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}

int prefixLength(quint32 mask)
{
    int length = 0;
    for (quint32 bit = 0x80000000u; bit && (mask & bit); bit >>= 1)
        ++length;
    return length;
}

} // namespace

QStringList editWarnings(const DeviceRecord &reported, const DeviceRecord &wanted)
{
    QStringList warnings;
    const bool addressingChanged = reported.localIp != wanted.localIp || reported.subnetMask != wanted.subnetMask
        || reported.gateway != wanted.gateway || reported.ipType != wanted.ipType;
    const std::optional<Ipv4Octets> maskOctets = parseIpv4(wanted.subnetMask);
    if (addressingChanged && wanted.ipType == Module::StaticIp && maskOctets && isContiguousMask(*maskOctets)
        && parseIpv4(wanted.localIp) && parseIpv4(wanted.gateway)) {
        const quint32 mask = addressValue(wanted.subnetMask);
        const quint32 gateway = addressValue(wanted.gateway);
        const quint32 address = addressValue(wanted.localIp);
        // 0.0.0.0: no gateway at all, which is the user's choice.
        if (gateway != 0 && (gateway & mask) != (address & mask))
            warnings << QStringLiteral("the gateway %1 lies outside the module's subnet %2/%3")
                            .arg(wanted.gateway, addressText(address & mask))
                            .arg(prefixLength(mask));
    }
    // Said when the line format becomes 7N1, not on every later change of a module that already has it.
    if (needsLineFormatNotice(wanted) && lineFormatByte(wanted) != lineFormatByte(reported))
        warnings << QStringLiteral("modules do not support 7 data bits without parity; sending it anyway");
    return warnings;
}
