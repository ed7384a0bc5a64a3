#pragma once

#include "exitstatus.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// A commissioning list: per MAC, the parameters the module should have. Either CSV, a header row of the field
// names `set` takes with a "mac" column, one row per module (an empty cell keeps what the module reports), or
// JSON, the module form with a "mac" in each object: an array of them, or an object whose "modules" holds them
// (as `search --json` and kestrel-sim's state write). What says where or when a module was seen (version,
// source-ip, interface, the notes of a search) is ignored, so a search's own output can be edited into a list.
struct InventoryRow {
    int line = 0; // where it stands: the CSV line, or the JSON object's place from 1
    QString mac; // 12 upper-case hexadecimal digits
    QJsonObject fields; // the values wanted, in the JSON form
};

// Reads the list; a file that is not one is a usage error naming the line or the object.
std::optional<Failure> readInventory(const QString &path, QVector<InventoryRow> *rows);

// The list as CSV: a header of "mac" and the keys, then one row per module (cells as the JSON form writes them).
QString inventoryCsv(const QVector<InventoryRow> &rows, const QStringList &keys);
