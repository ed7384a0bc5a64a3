#include "modulefactory.h"

#include "configframe.h"
#include "devicename.h"
#include "frameconstants.h"
#include "framelayout.h"
#include "modulejson.h"

#include <optional>

namespace {

constexpr quint64 MacLimit = Q_UINT64_C(1) << 48;

} // namespace

bool makeModules(const ModuleRequest &what, QList<DeviceRecord> *modules, QString *error)
{
    if (!isMacAddressText(what.firstMac)) {
        *error = QStringLiteral("the first MAC must be %1 hexadecimal digits, got \"%2\"")
                     .arg(MacDigits)
                     .arg(what.firstMac);
        return false;
    }
    if (what.count < 1 || what.count > MaxModuleCount) {
        *error = QStringLiteral("the module count must be from 1 to %1, got %2").arg(MaxModuleCount).arg(what.count);
        return false;
    }
    const quint64 firstMac = what.firstMac.toULongLong(nullptr, 16);
    if (quint64(what.count) > MacLimit - firstMac) {
        *error = QStringLiteral("%1 modules from MAC %2 on run past FFFFFFFFFFFF").arg(what.count).arg(what.firstMac);
        return false;
    }
    if (!isFirmwareVersion(what.version)) {
        *error = QStringLiteral("the firmware version must be four numbers from 0 to 15, like 1.0.0.1; got \"%1\"")
                     .arg(what.version);
        return false;
    }

    // Any parameters a module can report, sendable or not: the tools must cope with them.
    DeviceRecord common = what.parameters;
    common.version = what.version;
    common.randomPort = common.localPort == QLatin1String("0");

    QList<DeviceRecord> made;
    made.reserve(what.count);
    for (int i = 0; i < what.count; ++i) {
        const std::optional<QByteArray> nameField = encodeDeviceName(what.namePrefix + QString::number(i + 1));
        if (!nameField) {
            *error = QStringLiteral("the name prefix \"%1\" cannot be encoded as UTF-8").arg(what.namePrefix);
            return false;
        }
        DeviceRecord module = common;
        module.macAddress = macAddressText(firstMac + quint64(i));
        module.nameField = *nameField;
        module.deviceName = displayDeviceName(*nameField);
        made.append(module);
    }
    *modules = made;
    return true;
}
