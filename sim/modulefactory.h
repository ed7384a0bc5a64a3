#pragma once

#include "devicerecord.h"

#include <QList>
#include <QString>

// The most modules one simulator plays: a million take about a second to start and some hundred megabytes.
constexpr int MaxModuleCount = 1000000;

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

// Builds the modules, or explains which option is wrong. A name longer than the 10 bytes of the name field
// keeps its first 10 bytes, as a module would.
bool makeModules(const ModuleRequest &what, QList<DeviceRecord> *modules, QString *error);
