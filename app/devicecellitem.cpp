#include "devicecellitem.h"

#include "devicelist.h"

#include <iterator>

DeviceCellItem::DeviceCellItem(const DeviceList &modules)
    : modules(modules)
{
}

QVariant DeviceCellItem::data(int role) const
{
    switch (role) {
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::ToolTipRole: {
        // Row 0 is the caption row; a row whose module is not in the list yet shows nothing.
        const int index = row() - 1;
        if (index < 0 || index >= modules.size())
            return {};
        const DeviceRecord module = modules.at(index);
        const QString texts[] = {module.sourceIp, module.deviceName, module.macAddress, module.version};
        const int column = this->column();
        return column >= 0 && column < int(std::size(texts)) ? texts[column] : QVariant();
    }
    default:
        return QTableWidgetItem::data(role);
    }
}

QTableWidgetItem *DeviceCellItem::clone() const
{
    return new DeviceCellItem(modules);
}
