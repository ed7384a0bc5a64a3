#pragma once

#include "configframe.h"
#include "devicerecord.h"

#include <QJsonObject>
#include <QString>

// A module as a JSON object whose keys are the record's field names.
QJsonObject recordToJson(const DeviceRecord &record);

// Fields missing from the object keep their value in base; a field of the wrong type is an error.
bool recordFromJson(const QJsonObject &object, const DeviceRecord &base, DeviceRecord *record, QString *error);

// The key of the field a configuration frame cannot carry, for error messages.
QString jsonKey(ConfigField field);

// Four numbers from 0 to 15 joined by dots: each travels as one nibble.
bool isFirmwareVersion(const QString &text);
