#include "provisionplan.h"

#include "configuration.h"
#include "factorydefaults.h"
#include "framelayout.h"
#include "moduleenums.h"
#include "modulejson.h"

#include <QHash>
#include <QMap>

namespace {

const QLatin1String IpKey("ip");
const QLatin1String IpTypeKey("ip-type");
const QLatin1String NameKey("name");
constexpr char NumberPlaceholder[] = "{n}";

QString rowName(const InventoryRow &row)
{
    return QStringLiteral("line %1 (%2)").arg(row.line).arg(row.mac);
}

QString rowNames(const QVector<const InventoryRow *> &rows)
{
    QStringList names;
    for (const InventoryRow *row : rows)
        names << rowName(*row);
    return names.join(QStringLiteral(", "));
}

// The static address a row asks for; none when it names no address or asks for DHCP.
std::optional<QString> staticAddressOf(const InventoryRow &row)
{
    if (!row.fields.contains(IpKey) || row.fields.value(IpTypeKey) == QJsonValue(QStringLiteral("dhcp")))
        return std::nullopt;
    const std::optional<quint32> number = ipv4Number(row.fields.value(IpKey).toString());
    if (!number)
        return std::nullopt; // a malformed value is refused with the others
    return ipv4Text(*number);
}

void findListConflicts(const QVector<InventoryRow> &rows, QStringList *conflicts)
{
    QMap<QString, QVector<const InventoryRow *>> byMac;
    QMap<QString, QVector<const InventoryRow *>> byAddress;
    for (const InventoryRow &row : rows) {
        byMac[row.mac].append(&row);
        if (const std::optional<QString> address = staticAddressOf(row))
            byAddress[*address].append(&row);
    }
    for (auto it = byMac.constBegin(); it != byMac.constEnd(); ++it) {
        if (it.value().size() > 1)
            *conflicts
                << QStringLiteral("%1 is listed %2 times: lines %3").arg(it.key()).arg(it.value().size()).arg([&] {
                       QStringList lines;
                       for (const InventoryRow *row : it.value())
                           lines << QString::number(row->line);
                       return lines.join(QStringLiteral(", "));
                   }());
    }
    for (auto it = byAddress.constBegin(); it != byAddress.constEnd(); ++it) {
        if (it.value().size() > 1)
            *conflicts << QStringLiteral("%1 is given to %2 modules: %3")
                              .arg(it.key())
                              .arg(it.value().size())
                              .arg(rowNames(it.value()));
    }
}

} // namespace

ProvisionPlan planProvision(const QVector<InventoryRow> &rows, const QList<FoundModule> &answered)
{
    ProvisionPlan plan;
    findListConflicts(rows, &plan.conflicts);

    QHash<QString, const FoundModule *> byMac;
    for (const FoundModule &module : answered)
        byMac.insert(module.record.macAddress, &module);

    QSet<QString> listed;
    for (const InventoryRow &row : rows) {
        ProvisionTarget target;
        target.row = row;
        listed.insert(row.mac);
        const FoundModule *module = byMac.value(row.mac);
        QString error;
        if (!module) {
            // Its values are not sent, but a list that no module could take is still a bad list.
            DeviceRecord sample = factoryDefaultRecord();
            sample.macAddress = row.mac;
            if (!moduleFromJson(row.fields, sample, &sample, &error, SendCheck::None))
                plan.refusals << QStringLiteral("%1: %2").arg(rowName(row), error);
            target.problems << QStringLiteral("did not answer the search");
            plan.targets.append(target);
            continue;
        }
        target.found = true;
        target.reported = module->record;
        if (!module->otherSources.isEmpty())
            plan.conflicts << QStringLiteral("%1 answered from %2 and %3: two modules share this MAC, and its frame "
                                             "would change both")
                                  .arg(row.mac, module->record.sourceIp,
                                       module->otherSources.join(QStringLiteral(", ")));
        if (!moduleFromJson(row.fields, target.reported, &target.wanted, &error)) {
            plan.refusals << QStringLiteral("%1: %2").arg(rowName(row), error);
            target.wanted = target.reported;
        }
        target.changes = changes(target.reported, target.wanted);
        if (!target.changes.isEmpty())
            target.warnings = editWarnings(target.reported, target.wanted);
        plan.targets.append(target);
    }

    // Where every module that answered will be: a listed one where its row puts it, any other where it is. A DHCP
    // module holds the address it reports until the server says otherwise.
    QHash<QString, QStringList> holders; // address -> MACs
    for (const ProvisionTarget &target : qAsConst(plan.targets)) {
        if (target.found)
            holders[target.wanted.ipType == Module::Dhcp ? target.reported.localIp : target.wanted.localIp]
                << target.row.mac;
    }
    for (const FoundModule &module : answered) {
        if (!listed.contains(module.record.macAddress))
            holders[module.record.localIp] << module.record.macAddress;
    }
    QHash<QString, QString> askedFor; // MAC -> the static address its row names
    for (const InventoryRow &row : rows) {
        if (!askedFor.contains(row.mac)) // a MAC listed twice is a conflict of its own
            askedFor.insert(row.mac, staticAddressOf(row).value_or(QString()));
    }
    for (const ProvisionTarget &target : qAsConst(plan.targets)) {
        const std::optional<QString> address = staticAddressOf(target.row);
        if (!address)
            continue;
        QStringList others;
        for (const QString &mac : holders.value(*address)) {
            // Two rows that ask for one address are told above.
            if (mac != target.row.mac && askedFor.value(mac) != *address)
                others << mac;
        }
        if (!others.isEmpty())
            plan.conflicts << QStringLiteral("%1 for %2 is already the address of %3, which answered the search")
                                  .arg(*address, rowName(target.row), others.join(QStringLiteral(", ")));
    }
    return plan;
}

std::optional<quint32> ipv4Number(const QString &text)
{
    const std::optional<Ipv4Octets> octets = parseIpv4(text);
    if (!octets)
        return std::nullopt;
    return quint32((*octets)[0]) << 24 | quint32((*octets)[1]) << 16 | quint32((*octets)[2]) << 8 | (*octets)[3];
}

QString ipv4Text(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}

std::optional<AddressRange> parseAddressRange(const QString &text)
{
    const QStringList ends = text.split(QLatin1Char('-'));
    if (ends.size() != 2)
        return std::nullopt;
    const std::optional<quint32> first = ipv4Number(ends.at(0));
    const std::optional<quint32> last = ipv4Number(ends.at(1));
    if (!first || !last || *first > *last)
        return std::nullopt;
    return AddressRange {*first, *last};
}

QVector<InventoryRow> assignAddresses(const QStringList &macs, const AddressRange &range, const QSet<quint32> &taken,
                                      const QString &namePattern, const QJsonObject &common, QString *conflict)
{
    QVector<InventoryRow> rows;
    quint64 next = range.first;
    for (int i = 0; i < macs.size(); ++i) {
        while (next <= range.last && taken.contains(quint32(next)))
            ++next;
        if (next > range.last) {
            quint64 free = 0;
            for (quint64 address = range.first; address <= range.last; ++address)
                free += taken.contains(quint32(address)) ? 0 : 1;
            *conflict = QStringLiteral("the range %1-%2 has %3 free addresses for %4 modules")
                            .arg(ipv4Text(range.first), ipv4Text(range.last))
                            .arg(free)
                            .arg(macs.size());
            if (free < range.size())
                *conflict += QStringLiteral(" (%1 are kept by other modules that answered)").arg(range.size() - free);
            return {};
        }
        InventoryRow row;
        row.line = i + 2; // as the written list numbers it, below its header
        row.mac = macs.at(i);
        row.fields = common;
        row.fields.insert(IpKey, ipv4Text(quint32(next++)));
        if (!namePattern.isEmpty()) {
            QString name = namePattern;
            row.fields.insert(NameKey, name.replace(QLatin1String(NumberPlaceholder), QString::number(i + 1)));
        }
        rows.append(row);
    }
    return rows;
}
