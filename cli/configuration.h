#pragma once

#include "devicerecord.h"
#include "exitstatus.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

class Session;

// Sends the configuration frame for one module through the adapter it answered on (record.interfaceIndex) and
// waits until the frame has left. What differs from what the module reported must pass findInvalidConfigField;
// the rest goes back as the module reported it.
std::optional<Failure> sendConfiguration(Session &session, const DeviceRecord &record, const DeviceRecord &reported);

// Sends one configuration frame to each module (first: what it gets, second: what it reported), paced, through the
// adapter each answered on, and waits until they have left. *notSent lists those that findInvalidConfigField
// refuses. A network error when no frame could leave; single failed copies are warned about.
std::optional<Failure> sendConfigurations(Session &session, const QList<QPair<DeviceRecord, DeviceRecord>> &frames,
                                          QStringList *notSent);

// Searches until every module reports the parameters it was sent, or verifyMs is up. Per MAC, the differences
// that remain: none when the module confirmed, one line saying so when it never answered.
QHash<QString, QStringList> readBack(Session &session, const QList<DeviceRecord> &sent, int verifyMs);

// How a module's reply differs from the parameters it was sent, one "field: reports X, sent Y" per field. With
// DHCP the module's address, mask and gateway are the server's business and not compared.
QStringList differences(const DeviceRecord &sent, const DeviceRecord &reported);

// What a change does, one "field: old -> new" per field that differs.
QStringList changes(const DeviceRecord &before, const DeviceRecord &after);

// "--verify-timeout": how long the read-back may take.
QString defaultVerifySeconds();
