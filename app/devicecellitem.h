#pragma once

#include <QTableWidgetItem>

class DeviceList;

// A cell of a module's row. It keeps no text of its own but shows its column's field of the module that the list
// holds for its row, centred, with the whole text as its tool tip: the cells of a hundred thousand rows would
// otherwise cost more than the modules themselves.
class DeviceCellItem : public QTableWidgetItem
{
public:
    explicit DeviceCellItem(const DeviceList &modules);

    QVariant data(int role) const override;
    QTableWidgetItem *clone() const override;

private:
    const DeviceList &modules;
};
