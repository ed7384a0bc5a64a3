#include "statefile.h"

#include "factorydefaults.h"
#include "recordjson.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>

bool loadModules(const QString &path, QList<DeviceRecord> *modules, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("%1: %2 at offset %3").arg(path, parseError.errorString()).arg(parseError.offset);
        return false;
    }
    const QJsonValue list = document.object().value(QLatin1String("modules"));
    if (!list.isArray()) {
        *error = QStringLiteral("%1: no \"modules\" list").arg(path);
        return false;
    }

    static const QRegularExpression macPattern(QStringLiteral("^[0-9A-F]{12}$"));
    QList<DeviceRecord> loaded;
    QSet<QString> macs;
    const QJsonArray array = list.toArray();
    for (int i = 0; i < array.size(); ++i) {
        DeviceRecord module;
        QString fieldError;
        if (!array.at(i).isObject()
            || !recordFromJson(array.at(i).toObject(), factoryDefaultRecord(), &module, &fieldError)) {
            *error = QStringLiteral("%1: module %2: %3")
                         .arg(path)
                         .arg(i + 1)
                         .arg(fieldError.isEmpty() ? QStringLiteral("not an object") : fieldError);
            return false;
        }
        const ConfigField invalid = findInvalidConfigField(module);
        if (invalid != ConfigField::None && invalid != ConfigField::Target) {
            *error = QStringLiteral("%1: module %2: \"%3\" cannot be sent in a frame")
                         .arg(path)
                         .arg(i + 1)
                         .arg(jsonKey(invalid));
            return false;
        }
        if (!isFirmwareVersion(module.version)) {
            *error
                = QStringLiteral("%1: module %2: \"version\" must be four numbers from 0 to 15").arg(path).arg(i + 1);
            return false;
        }
        if (!macPattern.match(module.macAddress).hasMatch() || macs.contains(module.macAddress)) {
            *error = QStringLiteral("%1: module %2: \"macAddress\" must be 12 upper-case hex digits, unique")
                         .arg(path)
                         .arg(i + 1);
            return false;
        }
        macs.insert(module.macAddress);
        loaded.append(module);
    }
    *modules = loaded;
    return true;
}

bool saveModules(const QString &path, const QList<DeviceRecord> &modules, QString *error)
{
    QJsonArray array;
    for (const DeviceRecord &module : modules)
        array.append(recordToJson(module));
    QJsonObject root;
    root.insert(QLatin1String("modules"), array);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(root).toJson()) < 0 || !file.commit()) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
