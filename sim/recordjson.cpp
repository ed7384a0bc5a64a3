#include "recordjson.h"

#include <QJsonValue>
#include <QRegularExpression>

namespace {

// clang-format off
struct TextField { const char *key; QString DeviceRecord::*field; };
struct IndexField { const char *key; int DeviceRecord::*field; int count; };

const TextField textFields[] = {
    {"macAddress", &DeviceRecord::macAddress}, {"version", &DeviceRecord::version},
    {"deviceName", &DeviceRecord::deviceName}, {"localIp", &DeviceRecord::localIp},
    {"subnetMask", &DeviceRecord::subnetMask}, {"gateway", &DeviceRecord::gateway},
    {"localPort", &DeviceRecord::localPort},   {"remoteIp", &DeviceRecord::remoteIp},
    {"remotePort", &DeviceRecord::remotePort}, {"baudRate", &DeviceRecord::baudRate},
};
// Indices are the form's combo-box items, so each has a fixed number of values.
const IndexField indexFields[] = {
    {"workMode", &DeviceRecord::workMode, 4}, {"ipType", &DeviceRecord::ipType, 2},
    {"parity", &DeviceRecord::parity, 3},     {"dataBits", &DeviceRecord::dataBits, 2},
    {"stopBits", &DeviceRecord::stopBits, 2}, {"modbusConvert", &DeviceRecord::modbusConvert, 2},
};
// clang-format on

} // namespace

QJsonObject recordToJson(const DeviceRecord &record)
{
    QJsonObject object;
    for (const TextField &text : textFields)
        object.insert(QLatin1String(text.key), record.*text.field);
    for (const IndexField &index : indexFields)
        object.insert(QLatin1String(index.key), record.*index.field);
    return object;
}

bool recordFromJson(const QJsonObject &object, const DeviceRecord &base, DeviceRecord *record, QString *error)
{
    DeviceRecord result = base;
    for (const TextField &text : textFields) {
        const QJsonValue value = object.value(QLatin1String(text.key));
        if (value.isUndefined())
            continue;
        if (!value.isString()) {
            *error = QStringLiteral("\"%1\" must be a string").arg(QLatin1String(text.key));
            return false;
        }
        result.*text.field = value.toString();
    }
    for (const IndexField &index : indexFields) {
        const QJsonValue value = object.value(QLatin1String(index.key));
        if (value.isUndefined())
            continue;
        const double number = value.toDouble(-1);
        if (!value.isDouble() || number != int(number) || number < 0 || number >= index.count) {
            *error = QStringLiteral("\"%1\" must be a whole number from 0 to %2")
                         .arg(QLatin1String(index.key))
                         .arg(index.count - 1);
            return false;
        }
        result.*index.field = int(number);
    }
    result.randomPort = result.localPort == QLatin1String("0");
    *record = result;
    return true;
}

QString jsonKey(ConfigField field)
{
    switch (field) {
    case ConfigField::Target:
        return QStringLiteral("macAddress");
    case ConfigField::LocalIp:
        return QStringLiteral("localIp");
    case ConfigField::SubnetMask:
        return QStringLiteral("subnetMask");
    case ConfigField::Gateway:
        return QStringLiteral("gateway");
    case ConfigField::RemoteIp:
        return QStringLiteral("remoteIp");
    case ConfigField::LocalPort:
        return QStringLiteral("localPort");
    case ConfigField::RemotePort:
        return QStringLiteral("remotePort");
    case ConfigField::BaudRate:
        return QStringLiteral("baudRate");
    case ConfigField::None:
        break;
    }
    return QString();
}

bool isFirmwareVersion(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d+)\\.(\\d+)\\.(\\d+)\\.(\\d+)$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    for (int part = 1; part <= 4; ++part) {
        if (match.captured(part).toInt() > 15) // one nibble each on the wire
            return false;
    }
    return true;
}
