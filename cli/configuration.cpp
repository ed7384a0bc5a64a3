#include "configuration.h"

#include "configframe.h"
#include "deviceendpoint.h"
#include "frameconstants.h"
#include "framelayout.h"
#include "moduleenums.h"
#include "modulejson.h"
#include "modulereport.h"
#include "session.h"

#include <QJsonObject>
#include <QThread>
#include <QVector>

namespace {

// How often the read-back asks again while a module still reports its old values (it may be restarting).
constexpr int ReadBackIntervalMs = 500;
// Configuration frames for many modules: this many at a time, then a pause.
constexpr int PacedGroup = 16;
constexpr int PacedPauseMs = 2;

const QLatin1String NameKey(NameModuleKey);

QByteArray nameBytes(const DeviceRecord &record)
{
    QByteArray frame(ParametersEnd, '\0');
    writeParameters(record, frame);
    return frame.mid(NameOffset, NameSize);
}

QString shownValue(const QJsonValue &value)
{
    return value.isUndefined() ? QStringLiteral("nothing") : jsonValueText(value);
}

QString shownName(const QString &name, const QByteArray &bytes)
{
    const QString quoted = QStringLiteral("\"%1\"").arg(name);
    return bytes.isEmpty() ? quoted : QStringLiteral("%1 (%2)").arg(quoted, QLatin1String(bytes.toHex().toUpper()));
}

struct FieldChange {
    QString key;
    QString from;
    QString to;
};

// The fields (module keys) in which two records differ. The name is compared by its bytes; the line-format byte
// too, as it can hold settings the JSON form cannot tell apart (5 or 6 data bits, stick parity).
QVector<FieldChange> compare(const DeviceRecord &from, const DeviceRecord &to, bool withNetworkAddresses)
{
    const QJsonObject fromJson = moduleToJson(from);
    const QJsonObject toJson = moduleToJson(to);
    QVector<FieldChange> found;
    const QByteArray fromName = nameBytes(from);
    const QByteArray toName = nameBytes(to);
    if (fromName != toName) {
        // Names that show alike (bytes after a zero, say) are told apart by their bytes.
        const bool alike = from.deviceName == to.deviceName;
        found.append({NameKey, shownName(from.deviceName, alike ? fromName : QByteArray()),
                      shownName(to.deviceName, alike ? toName : QByteArray())});
    }
    bool lineSettingDiffers = false;
    for (const QString &key : settableModuleKeys()) {
        if (key == NameKey || key == QLatin1String(NameHexModuleKey) || fromJson.value(key) == toJson.value(key))
            continue;
        if (!withNetworkAddresses
            && (key == QLatin1String("ip") || key == QLatin1String("mask") || key == QLatin1String("gateway")))
            continue;
        found.append({key, shownValue(fromJson.value(key)), shownValue(toJson.value(key))});
        lineSettingDiffers = lineSettingDiffers || isLineSettingKey(key);
    }
    const quint8 fromFormat = lineFormatByte(from);
    const quint8 toFormat = lineFormatByte(to);
    if (!lineSettingDiffers && fromFormat != toFormat)
        found.append({QStringLiteral("line format"), lineFormatByteText(fromFormat), lineFormatByteText(toFormat)});
    return found;
}

} // namespace

std::optional<Failure> sendConfiguration(Session &session, const DeviceRecord &record, const DeviceRecord &reported)
{
    const ConfigFrame frame = buildConfigFrame(record, timeSeededFiller(), fieldsChangedFrom(reported, record));
    if (frame.invalidField != ConfigField::None)
        return Failure {
            ExitStatus::RefusedValue,
            QStringLiteral("%1: \"%2\" cannot be sent").arg(record.macAddress, moduleKey(frame.invalidField))};
    session.deviceEndpoint().flushSends(); // what failed before is not this frame's fault
    session.deviceEndpoint().sendBroadcast(frame.bytes, record.interfaceIndex);
    const QStringList sendErrors = session.deviceEndpoint().flushSends();
    return session.judgeSends(sendErrors, !sendErrors.isEmpty(),
                              QStringLiteral("the configuration frame for %1").arg(record.macAddress));
}

std::optional<Failure> sendConfigurations(Session &session, const QList<QPair<DeviceRecord, DeviceRecord>> &frames,
                                          QStringList *notSent)
{
    DeviceEndpoint &endpoint = session.deviceEndpoint();
    endpoint.flushSends(); // what failed before is not these frames' fault
    QStringList sendErrors;
    int sent = 0;
    for (const auto &frame : frames) {
        const ConfigFrame built
            = buildConfigFrame(frame.first, timeSeededFiller(), fieldsChangedFrom(frame.second, frame.first));
        if (built.invalidField != ConfigField::None) {
            *notSent << frame.first.macAddress;
            continue;
        }
        endpoint.sendBroadcast(built.bytes, frame.first.interfaceIndex);
        // Every module hears every frame: a burst would outrun the receive queue of a module, or of a simulator
        // standing in for many, so the frames leave in small groups, each gone before the next.
        if (++sent % PacedGroup == 0) {
            sendErrors += endpoint.flushSends();
            QThread::msleep(PacedPauseMs);
        }
    }
    sendErrors += endpoint.flushSends();
    return session.judgeSends(sendErrors, sent > 0 && sendErrors.size() >= sent,
                              QStringLiteral("%1 configuration frames").arg(sent));
}

QHash<QString, QStringList> readBack(Session &session, const QList<DeviceRecord> &sent, int verifyMs)
{
    SearchPlan plan = session.searchPlan();
    plan.durationMs = verifyMs;
    plan.requests = qMax(1, verifyMs / ReadBackIntervalMs);
    return searchUntilReported(session.deviceEndpoint(), plan, sent, differences);
}

QStringList differences(const DeviceRecord &sent, const DeviceRecord &reported)
{
    QStringList found;
    for (const FieldChange &change : compare(sent, reported, sent.ipType != Module::Dhcp))
        found << QStringLiteral("%1: reports %2, sent %3").arg(change.key, change.to, change.from);
    return found;
}

QStringList changes(const DeviceRecord &before, const DeviceRecord &after)
{
    QStringList found;
    for (const FieldChange &change : compare(before, after, true))
        found << QStringLiteral("%1: %2 -> %3").arg(change.key, change.from, change.to);
    return found;
}

QString defaultVerifySeconds()
{
    return QStringLiteral("5");
}
