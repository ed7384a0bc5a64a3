#include "modulefactory.h"

#include "configframe.h"
#include "recordjson.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

constexpr quint64 MacLimit = Q_UINT64_C(1) << 48;

} // namespace

bool makeModules(const ModuleRequest &what, QList<DeviceRecord> *modules, QString *error)
{
    static const QRegularExpression macPattern(QStringLiteral("^[0-9A-Fa-f]{12}$"));
    if (!macPattern.match(what.firstMac).hasMatch()) {
        *error = QStringLiteral("the first MAC must be 12 hexadecimal digits, got \"%1\"").arg(what.firstMac);
        return false;
    }
    const quint64 firstMac = what.firstMac.toULongLong(nullptr, 16);
    if (what.count < 1 || quint64(what.count) > MacLimit - firstMac) {
        *error = QStringLiteral("the module count must be at least 1 and the MACs must fit in 48 bits");
        return false;
    }
    if (!isFirmwareVersion(what.version)) {
        *error = QStringLiteral("the version must be four numbers from 0 to 15, like 1.0.0.1; got \"%1\"")
                     .arg(what.version);
        return false;
    }

    QList<DeviceRecord> made;
    made.reserve(what.count);
    for (int i = 0; i < what.count; ++i) {
        DeviceRecord module = what.parameters;
        module.macAddress = QStringLiteral("%1").arg(firstMac + quint64(i), 12, 16, QLatin1Char('0')).toUpper();
        module.version = what.version;
        module.deviceName = what.namePrefix + QString::number(i + 1);
        module.randomPort = module.localPort == QLatin1String("0");
        const ConfigField invalid = findInvalidConfigField(module);
        if (invalid != ConfigField::None) {
            *error = QStringLiteral("the starting parameter \"%1\" cannot be sent in a frame").arg(jsonKey(invalid));
            return false;
        }
        made.append(module);
    }
    *modules = made;
    return true;
}
