#pragma once

#include "devicerecord.h"

#include <QHash>
#include <QJsonValue>
#include <QList>
#include <QSet>
#include <QStringList>
#include <QVector>

#include <functional>

struct SearchPlan;

// The read-back after a configuration, as the window and kestrelctl both do it: search again until each module
// reports what it was sent, or the read-back time is up, asking again every ReadBackIntervalMs (a module may still
// be applying its parameters, or restarting, when first asked).

constexpr int ReadBackIntervalMs = 500;
constexpr int ReadBackMs = 5000; // how long a read-back waits by default

// The search plan of a read-back that may take verifyMs.
SearchPlan readBackPlan(const SearchPlan &base, int verifyMs);

// One field in which two records differ, by its key in the JSON form of a module; "line format" for the
// line-format byte when data bits, parity and stop bits alike cannot tell the difference. The values are those of the
// JSON form (the line format's as numbers); a name's bytes are given too when both names show alike.
struct FieldDifference {
    QString key;
    QJsonValue from;
    QJsonValue to;
    QByteArray fromBytes;
    QByteArray toBytes;
};

extern const QLatin1String LineFormatDifferenceKey;

// The fields in which two records differ. The name is compared by its bytes; the line-format byte too, as it can
// hold settings the JSON form cannot tell apart (bits outside a UART's meaning).
QVector<FieldDifference> fieldDifferences(const DeviceRecord &from, const DeviceRecord &to, bool withNetworkAddresses);

// The read-back rule: how a module's reply differs from what it was sent (from: sent, to: reported). With DHCP the
// module's address, mask and gateway are the server's business and not compared.
QVector<FieldDifference> readBackDifferences(const DeviceRecord &sent, const DeviceRecord &reported);

// How a module's reply differs from what it was sent, one line per difference; none when it reports it all.
using ReportCheck = std::function<QStringList(const DeviceRecord &sent, const DeviceRecord &reported)>;

// What a read-back found: per MAC, the differences that remain (none when the module confirmed) and whether it
// answered at all.
struct ReadBackResult {
    QHash<QString, QStringList> differences;
    QSet<QString> answered;
};

// Tracks a read-back through the replies of a search: feed it each reply; true once every module reported what
// it was sent.
class ReadBack
{
public:
    ReadBack(const QList<DeviceRecord> &sent, ReportCheck check);
    bool take(const DeviceRecord &reply);
    bool isComplete() const { return confirmed.size() == expected.size(); }
    const ReadBackResult &result() const { return found; }
    // Per MAC, one line for a module that never answered, else its differences.
    QHash<QString, QStringList> remaining() const;

private:
    QHash<QString, DeviceRecord> expected;
    ReportCheck check;
    QSet<QString> confirmed;
    ReadBackResult found;
};
