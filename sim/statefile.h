#pragma once

#include "devicerecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

// The simulated modules kept between runs: {"modules": [ {module}, ... ]}, one module per line in the JSON form
// of modulejson.h. Keys left out take the factory defaults and firmware 1.0.0.1; "mac" is required.
// From 1 to MaxModuleCount modules with distinct MACs, each of which can be sent in a configuration frame.
bool loadModules(const QString &path, QList<DeviceRecord> *modules, QString *error);

// Written through a temporary file and renamed over the old one, so a killed
// simulator leaves either the old state or the new one, never half of either.
bool saveModules(const QString &path, const QList<DeviceRecord> &modules, QString *error);

// Saves the same modules again and again, turning only the modules changed since the last save into JSON again:
// with a hundred thousand modules that is most of the work.
class StateWriter
{
public:
    explicit StateWriter(const QString &path)
        : filePath(path)
    {
    }

    void moduleChanged(int index);
    bool save(const QList<DeviceRecord> &modules, QString *error);

private:
    QString filePath;
    QVector<QByteArray> lines; // each module's line; empty when it has to be made again
};
