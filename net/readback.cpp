#include "readback.h"

#include "framelayout.h"
#include "moduleenums.h"
#include "modulejson.h"
#include "modulesearch.h"

#include <QJsonObject>

namespace {

const QLatin1String NameKey(NameModuleKey);

QByteArray nameBytes(const DeviceRecord &record)
{
    QByteArray frame(ParametersEnd, '\0');
    writeParameters(record, frame);
    return frame.mid(NameOffset, NameSize);
}

bool isAddressKey(const QString &key)
{
    return key == QLatin1String("ip") || key == QLatin1String("mask") || key == QLatin1String("gateway");
}

} // namespace

const QLatin1String LineFormatDifferenceKey("line format");

SearchPlan readBackPlan(const SearchPlan &base, int verifyMs)
{
    SearchPlan plan = base;
    plan.durationMs = verifyMs;
    plan.requests = qMax(1, verifyMs / ReadBackIntervalMs);
    plan.quietMs = 0;
    return plan;
}

QVector<FieldDifference> fieldDifferences(const DeviceRecord &from, const DeviceRecord &to, bool withNetworkAddresses)
{
    const QJsonObject fromJson = moduleToJson(from);
    const QJsonObject toJson = moduleToJson(to);
    QVector<FieldDifference> found;
    const QByteArray fromName = nameBytes(from);
    const QByteArray toName = nameBytes(to);
    if (fromName != toName) {
        // Names that show alike (bytes after a zero, say) are told apart by their bytes.
        const bool alike = from.deviceName == to.deviceName;
        found.append(
            {NameKey, from.deviceName, to.deviceName, alike ? fromName : QByteArray(), alike ? toName : QByteArray()});
    }
    bool lineSettingDiffers = false;
    for (const QString &key : settableModuleKeys()) {
        if (key == NameKey || key == QLatin1String(NameHexModuleKey) || fromJson.value(key) == toJson.value(key))
            continue;
        if (!withNetworkAddresses && isAddressKey(key))
            continue;
        found.append({key, fromJson.value(key), toJson.value(key), {}, {}});
        lineSettingDiffers = lineSettingDiffers || isLineSettingKey(key);
    }
    const quint8 fromFormat = lineFormatByte(from);
    const quint8 toFormat = lineFormatByte(to);
    if (!lineSettingDiffers && fromFormat != toFormat)
        found.append({LineFormatDifferenceKey, int(fromFormat), int(toFormat), {}, {}});
    return found;
}

QVector<FieldDifference> readBackDifferences(const DeviceRecord &sent, const DeviceRecord &reported)
{
    return fieldDifferences(sent, reported, sent.ipType != Module::Dhcp);
}

ReadBack::ReadBack(const QList<DeviceRecord> &sent, ReportCheck check)
    : check(std::move(check))
{
    for (const DeviceRecord &record : sent)
        expected.insert(record.macAddress, record);
}

bool ReadBack::take(const DeviceRecord &reply)
{
    const auto wanted = expected.constFind(reply.macAddress);
    if (wanted == expected.constEnd() || confirmed.contains(reply.macAddress))
        return isComplete();
    const QStringList left = check(*wanted, reply);
    found.answered.insert(reply.macAddress);
    found.differences.insert(reply.macAddress, left);
    if (left.isEmpty())
        confirmed.insert(reply.macAddress);
    return isComplete();
}

QHash<QString, QStringList> ReadBack::remaining() const
{
    QHash<QString, QStringList> left;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        left.insert(it.key(),
                    found.answered.contains(it.key())
                        ? found.differences.value(it.key())
                        : QStringList {QStringLiteral("did not answer the read-back search")});
    return left;
}
