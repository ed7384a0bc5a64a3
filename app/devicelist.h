#pragma once

#include "devicerecord.h"
#include "packedrecord.h"

#include <QString>
#include <QVector>

// The modules the window lists, in order of discovery: element i is table row i + 1. Each is packed into the bytes
// of its reply and decoded when read, so that the list of a large search stays small; what is read is always the
// record as it was put in.
class DeviceList
{
public:
    void append(const DeviceRecord &record) { modules.append(PackedRecord(record)); }
    // The module's row after "Configure": what was sent, then what the module answered.
    void replace(int index, const DeviceRecord &record) { modules.replace(index, PackedRecord(record)); }
    void clear() { modules = {}; } // and its memory, which a large search may have taken
    void removeLast() { modules.removeLast(); }

    DeviceRecord at(int index) const { return modules.at(index).record(); }
    DeviceRecord first() const { return at(0); }
    DeviceRecord last() const { return at(size() - 1); }
    int size() const { return modules.size(); }
    bool isEmpty() const { return modules.isEmpty(); }
    // The element of a MAC, or -1; without decoding the others.
    int indexOf(const QString &macAddress) const;

    // Each record in order, decoded as it is reached.
    class const_iterator
    {
    public:
        const_iterator(const DeviceList &list, int index)
            : list(&list), index(index)
        {
        }
        DeviceRecord operator*() const { return list->at(index); }
        const_iterator &operator++()
        {
            ++index;
            return *this;
        }
        bool operator!=(const const_iterator &other) const { return index != other.index; }

    private:
        const DeviceList *list;
        int index;
    };
    const_iterator begin() const { return {*this, 0}; }
    const_iterator end() const { return {*this, size()}; }

private:
    QVector<PackedRecord> modules;
};
