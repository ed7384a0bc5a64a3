#include "configuration.h"

#include "configframe.h"
#include "deviceendpoint.h"
#include "frameconstants.h"
#include "framelayout.h"
#include "moduleenums.h"
#include "modulejson.h"
#include "modulereport.h"
#include "readback.h"
#include "session.h"

#include <QJsonObject>
#include <QThread>
#include <QVector>

namespace {

// Configuration frames for many modules: this many at a time, then a pause.
constexpr int PacedGroup = 16;
constexpr int PacedPauseMs = 2;

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

QVector<FieldChange> shown(const QVector<FieldDifference> &differences)
{
    QVector<FieldChange> found;
    for (const FieldDifference &difference : differences) {
        if (difference.key == QLatin1String(NameModuleKey))
            found.append({difference.key, shownName(difference.from.toString(), difference.fromBytes),
                          shownName(difference.to.toString(), difference.toBytes)});
        else if (difference.key == LineFormatDifferenceKey)
            found.append({difference.key, lineFormatByteText(quint8(difference.from.toInt())),
                          lineFormatByteText(quint8(difference.to.toInt()))});
        else
            found.append({difference.key, shownValue(difference.from), shownValue(difference.to)});
    }
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
    return searchUntilReported(session.deviceEndpoint(), readBackPlan(session.searchPlan(), verifyMs), sent,
                               differences);
}

QStringList differences(const DeviceRecord &sent, const DeviceRecord &reported)
{
    QStringList found;
    for (const FieldChange &change : shown(readBackDifferences(sent, reported)))
        found << QStringLiteral("%1: reports %2, sent %3").arg(change.key, change.to, change.from);
    return found;
}

QStringList changes(const DeviceRecord &before, const DeviceRecord &after)
{
    QStringList found;
    for (const FieldChange &change : shown(fieldDifferences(before, after, true)))
        found << QStringLiteral("%1: %2 -> %3").arg(change.key, change.from, change.to);
    return found;
}

QString defaultVerifySeconds()
{
    return QString::number(ReadBackMs / 1000);
}
