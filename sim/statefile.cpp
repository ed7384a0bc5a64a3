#include "statefile.h"

#include "factorydefaults.h"
#include "jsontext.h"
#include "modulefactory.h"
#include "modulejson.h"
#include "regularfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>

namespace {

const QLatin1String ModulesKey("modules");
// A module's line takes a few hundred bytes; a kilobyte each is far more than the most modules ever need.
constexpr qint64 LargestStateFile = qint64(MaxModuleCount) * 1024;

QString jsonTypeName(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::String:
        return QStringLiteral("a string");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::Bool:
        return QStringLiteral("true or false");
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("null");
}

} // namespace

bool loadModules(const QString &path, QList<DeviceRecord> *modules, QString *error)
{
    QByteArray content;
    if (!readRegularFile(path, LargestStateFile, &content, error))
        return false;
    QJsonDocument document;
    QString parseError;
    const bool parsed = parseJsonText(content, &document, &parseError);
    content.clear();
    if (!parsed) {
        *error = QStringLiteral("%1: %2").arg(path, parseError);
        return false;
    }
    if (!document.isObject()) {
        *error = QStringLiteral("%1: expected an object {\"modules\": [...]}, got an array").arg(path);
        return false;
    }
    const QJsonObject root = document.object();
    for (auto it = root.constBegin(); it != root.constEnd(); ++it) {
        if (it.key() != ModulesKey) {
            *error = QStringLiteral("%1: unknown key \"%2\"; the file holds only \"modules\"").arg(path, it.key());
            return false;
        }
    }
    const QJsonValue list = root.value(ModulesKey);
    if (!list.isArray()) {
        *error = QStringLiteral("%1: \"modules\" must be a list of modules, got %2")
                     .arg(path, list.isUndefined() ? QStringLiteral("nothing") : jsonTypeName(list));
        return false;
    }
    const QJsonArray array = list.toArray();
    if (array.isEmpty() || array.size() > MaxModuleCount) {
        *error = QStringLiteral("%1: holds %2 modules; from 1 to %3 can be played")
                     .arg(path)
                     .arg(array.size())
                     .arg(MaxModuleCount);
        return false;
    }

    DeviceRecord base = factoryDefaultRecord();
    base.version = ModuleRequest().version;
    QList<DeviceRecord> loaded;
    loaded.reserve(array.size());
    QSet<QString> macs;
    macs.reserve(array.size());
    for (int i = 0; i < array.size(); ++i) {
        const QJsonValue element = array.at(i);
        const auto refuse = [&](const QString &why) {
            *error = QStringLiteral("%1: module %2: %3").arg(path).arg(i + 1).arg(why);
            return false;
        };
        if (!element.isObject())
            return refuse(QStringLiteral("expected an object, got %1").arg(jsonTypeName(element)));
        DeviceRecord module;
        QString moduleError;
        if (!moduleFromJson(element.toObject(), base, &module, &moduleError, SendCheck::None))
            return refuse(moduleError);
        if (module.macAddress.isEmpty())
            return refuse(QStringLiteral("\"mac\" is missing"));
        if (macs.contains(module.macAddress))
            return refuse(QStringLiteral("\"mac\" %1 is already used by another module").arg(module.macAddress));
        macs.insert(module.macAddress);
        loaded.append(module);
    }
    *modules = loaded;
    return true;
}

bool saveModules(const QString &path, const QList<DeviceRecord> &modules, QString *error)
{
    StateWriter writer(path);
    return writer.save(modules, error);
}

void StateWriter::moduleChanged(int index)
{
    if (index >= 0 && index < lines.size())
        lines[index].clear();
}

bool StateWriter::save(const QList<DeviceRecord> &modules, QString *error)
{
    // Only a file is replaced: a rename would put one in the place of a FIFO or a device.
    if (!isAbsentOrRegularFile(filePath, error))
        return false;
    lines.resize(modules.size());
    // Written module by module: a document of a million modules would not fit in memory at once.
    QSaveFile file(filePath);
    bool written = file.open(QIODevice::WriteOnly) && file.write("{\n    \"modules\": [\n") >= 0;
    for (int i = 0; written && i < modules.size(); ++i) {
        QByteArray &line = lines[i];
        if (line.isEmpty())
            line = "        " + QJsonDocument(moduleToJson(modules.at(i))).toJson(QJsonDocument::Compact);
        written = file.write(line) >= 0 && file.write(i + 1 < modules.size() ? ",\n" : "\n") >= 0;
    }
    if (!written || file.write("    ]\n}\n") < 0 || !file.commit()) {
        *error = QStringLiteral("%1: %2").arg(filePath, file.errorString());
        return false;
    }
    return true;
}
