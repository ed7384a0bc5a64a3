#pragma once

#include "devicerecord.h"

#include <QList>
#include <QString>

// What the command line asks for: count modules with consecutive MACs from
// firstMac, named prefix1, prefix2, ..., all with the same firmware version
// and starting parameters.
struct ModuleRequest {
    int count = 1;
    QString firstMac = QStringLiteral("02004B530001");
    QString namePrefix = QStringLiteral("SIM-");
    QString version = QStringLiteral("1.0.0.1");
    DeviceRecord parameters;
};

// Builds the modules, or explains which option is wrong.
bool makeModules(const ModuleRequest &what, QList<DeviceRecord> *modules, QString *error);
