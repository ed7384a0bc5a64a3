#include "devicelist.h"

int DeviceList::indexOf(const QString &macAddress) const
{
    for (int i = 0; i < modules.size(); ++i) {
        if (modules.at(i).hasMacAddress(macAddress))
            return i;
    }
    return -1;
}
