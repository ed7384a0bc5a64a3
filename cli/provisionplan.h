#pragma once

#include "devicerecord.h"
#include "foundmodules.h"
#include "inventory.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// What provision does to each module of a list, decided before anything is sent.
struct ProvisionTarget {
    InventoryRow row;
    bool found = false;
    DeviceRecord reported; // as the search found it
    DeviceRecord wanted; // what it reported, with the row's values over it
    QStringList changes; // "field: old -> new"; none: the module already reports what the row wants
    QStringList warnings; // sent all the same (a gateway outside the subnet, 7 data bits without parity)
    // How it went.
    bool sent = false;
    bool confirmed = false;
    QStringList problems; // why it was not found, not sent or not confirmed
};

struct ProvisionPlan {
    QVector<ProvisionTarget> targets; // in the order of the list
    QStringList conflicts; // modules that would clash: nothing may be sent
    QStringList refusals; // values that cannot be sent: nothing may be sent
};

// The plan for a list against the modules that answered (annotated, so that a MAC answering from two addresses
// is known). Conflicts: a MAC listed twice or answering from two addresses, one static IP in two rows, a row's IP
// that another module that answered keeps or is given. Each row's values are checked as `apply` checks a file's
// over what its module reports; rows of modules that did not answer only for their form.
ProvisionPlan planProvision(const QVector<InventoryRow> &rows, const QList<FoundModule> &answered);

// An address range "FIRST-LAST", both dotted IPv4, FIRST not above LAST.
struct AddressRange {
    quint32 first = 0;
    quint32 last = 0;
    quint64 size() const { return quint64(last) - first + 1; }
};
std::optional<AddressRange> parseAddressRange(const QString &text);

// A list giving each module (in the order given) the next address of the range that no other module that answered
// keeps (taken), a name from the pattern with "{n}" for its place from 1 (none when the pattern is empty), and the
// common values. Empty with *conflict set when the range is too small.
QVector<InventoryRow> assignAddresses(const QStringList &macs, const AddressRange &range, const QSet<quint32> &taken,
                                      const QString &namePattern, const QJsonObject &common, QString *conflict);

// Dotted IPv4 text as a number, for comparing and counting addresses; none when it is not an address.
std::optional<quint32> ipv4Number(const QString &text);
QString ipv4Text(quint32 address);
