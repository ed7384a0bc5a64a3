#pragma once

#include "devicerecord.h"

#include <QList>
#include <QString>

// The simulated modules kept between runs: {"modules": [ {record fields}, ... ]}.
bool loadModules(const QString &path, QList<DeviceRecord> *modules, QString *error);

// Written through a temporary file and renamed over the old one, so a killed
// simulator leaves either the old state or the new one, never half of either.
bool saveModules(const QString &path, const QList<DeviceRecord> &modules, QString *error);
