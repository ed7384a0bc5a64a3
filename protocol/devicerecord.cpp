#include "devicerecord.h"

bool DeviceRecord::operator==(const DeviceRecord &other) const
{
    return macAddress == other.macAddress && version == other.version && localIp == other.localIp
        && remoteIp == other.remoteIp && subnetMask == other.subnetMask && gateway == other.gateway
        && localPort == other.localPort && remotePort == other.remotePort && baudRate == other.baudRate
        && deviceName == other.deviceName && workMode == other.workMode && ipType == other.ipType
        && randomPort == other.randomPort && parity == other.parity && dataBits == other.dataBits
        && stopBits == other.stopBits && modbusConvert == other.modbusConvert && sourceIp == other.sourceIp
        && interfaceIndex == other.interfaceIndex && nameField == other.nameField
        && reportedLineFormat == other.reportedLineFormat;
}
