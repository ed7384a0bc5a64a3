#include "modulereport.h"

#include "frameconstants.h"
#include "framelayout.h"
#include "modulejson.h"
#include "output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QVector>

namespace {

const QLatin1String InterfaceKey(InterfaceModuleKey);
const QLatin1String ForeignSubnetKey("foreign-subnet");
const QLatin1String IpClaimedByKey("ip-claimed-by");
const QLatin1String IpClaimedByCountKey("ip-claimed-by-count");
const QLatin1String AlsoAnsweredFromKey("also-answered-from");

// Columns a terminal gives the text: East Asian wide characters take two.
int displayWidth(const QString &text)
{
    int width = 0;
    for (const uint c : text.toUcs4()) {
        const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F)
            || (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F)
            || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
        width += wide ? 2 : 1;
    }
    return width;
}

QString padded(const QString &text, int width)
{
    return text + QString(qMax(0, width - displayWidth(text)), QLatin1Char(' '));
}

QString notesText(const FoundModule &module)
{
    QStringList notes;
    if (module.foreignSubnet)
        notes << QStringLiteral("foreign subnet");
    if (module.ipClaimedByCount > module.ipClaimedBy.size())
        notes << QStringLiteral("IP also claimed by %1 others: %2, ...")
                     .arg(module.ipClaimedByCount)
                     .arg(module.ipClaimedBy.join(QStringLiteral(", ")));
    else if (!module.ipClaimedBy.isEmpty())
        notes << QStringLiteral("IP also claimed by %1").arg(module.ipClaimedBy.join(QStringLiteral(", ")));
    if (!module.otherSources.isEmpty())
        notes << QStringLiteral("MAC also answered from %1").arg(module.otherSources.join(QStringLiteral(", ")));
    return notes.join(QStringLiteral("; "));
}

} // namespace

namespace {

// A spreadsheet runs a cell that begins with one of these as a formula (a tab or carriage return first can hide
// one behind it).
bool mayStartFormula(const QString &text)
{
    static const QString starters = QStringLiteral("=+-@\t\r");
    return !text.isEmpty() && starters.contains(text.at(0));
}

} // namespace

// A CSV field (RFC 4180): quoted when it holds a separator, a quote or a line break. A field a spreadsheet would
// run as a formula gets an apostrophe first, which makes it text (and which spreadsheets do not show).
QString csvField(const QString &field)
{
    // Control characters are escaped, a line break too, as everywhere a terminal may show the text.
    const QString text = mayStartFormula(field) ? QLatin1Char('\'') + visibleText(field) : visibleText(field);
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}


QString lineFormatByteText(quint8 format)
{
    const int dataBits = 5 + (format & WordLengthMask);
    QChar parity = QLatin1Char('N');
    switch (format & ParityMask) { // without the enable bit: none, whatever the other two say
    case OddParityBits:
        parity = QLatin1Char('O');
        break;
    case EvenParityBits:
        parity = QLatin1Char('E');
        break;
    case MarkParityBits:
        parity = QLatin1Char('M');
        break;
    case SpaceParityBits:
        parity = QLatin1Char('S');
        break;
    }
    const QString stopBits = !(format & TwoStopBitsFlag) ? QStringLiteral("1")
        : dataBits == 5                              ? QStringLiteral("1.5")
                                                     : QStringLiteral("2");
    return QString::number(dataBits) + parity + stopBits;
}

QString jsonValueText(const QJsonValue &value, const QString &listSeparator)
{
    if (value.isString())
        return value.toString();
    if (value.isBool())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (value.isDouble())
        return QString::number(qint64(value.toDouble()));
    if (value.isArray()) {
        QStringList items;
        for (const QJsonValue &item : value.toArray())
            items << jsonValueText(item, listSeparator);
        return items.join(listSeparator);
    }
    return QString();
}

QStringList noteKeys()
{
    return {ForeignSubnetKey, IpClaimedByCountKey, IpClaimedByKey, AlsoAnsweredFromKey};
}

QStringList reportKeys()
{
    return identityModuleKeys() + settableModuleKeys() + sightingModuleKeys() + noteKeys();
}

QJsonObject exportJson(const FoundModule &module)
{
    QJsonObject object = moduleToJson(module.record);
    if (!module.adapterName.isEmpty())
        object.insert(InterfaceKey, module.adapterName);
    return object;
}

QJsonObject reportJson(const FoundModule &module)
{
    QJsonObject object = exportJson(module);
    object.insert(ForeignSubnetKey, module.foreignSubnet);
    object.insert(IpClaimedByCountKey, module.ipClaimedByCount);
    object.insert(IpClaimedByKey, QJsonArray::fromStringList(module.ipClaimedBy));
    object.insert(AlsoAnsweredFromKey, QJsonArray::fromStringList(module.otherSources));
    return object;
}

void writeSearchJson(const QList<FoundModule> &modules, const SearchOutcome &outcome,
                     const std::function<void(const QString &)> &write)
{
    writeSearchJson(
        int(modules.size()),
        [&modules](const ModuleVisitor &visit) {
            for (const FoundModule &module : modules)
                visit(module);
        },
        outcome, write);
}

void writeSearchJson(int count, const std::function<void(const ModuleVisitor &)> &eachModule,
                     const SearchOutcome &outcome, const std::function<void(const QString &)> &write)
{
    // The keys in QJsonDocument's order; each module is its own document, indented two levels further.
    const QString moduleIndent(8, QLatin1Char(' '));
    // null where the system does not count what it drops
    const QString lost = outcome.dropsCounted ? QString::number(outcome.lostReplies) : QStringLiteral("null");
    write(QStringLiteral("{\n    \"answered\": %1,\n    \"failed-checksum\": %2,\n    \"lost-replies\": %3,\n"
                         "    \"modules\": [\n")
              .arg(outcome.modules)
              .arg(outcome.badChecksums)
              .arg(lost));
    int written = 0;
    eachModule([&](const FoundModule &module) {
        QString text = QString::fromUtf8(QJsonDocument(reportJson(module)).toJson(QJsonDocument::Indented));
        text.chop(1); // the document's closing newline
        text.replace(QLatin1Char('\n'), QLatin1Char('\n') + moduleIndent);
        ++written;
        write(moduleIndent + text + (written < count ? QStringLiteral(",\n") : QStringLiteral("\n")));
    });
    write(QStringLiteral("    ],\n    \"repeats-dropped\": %1,\n    \"rounds\": %2\n}\n")
              .arg(outcome.repeatsDropped)
              .arg(outcome.rounds));
}

QString searchJsonText(const QList<FoundModule> &modules, const SearchOutcome &outcome)
{
    QString text;
    writeSearchJson(modules, outcome, [&text](const QString &part) { text += part; });
    return text;
}

QString csvText(const QList<FoundModule> &modules)
{
    const QStringList keys = reportKeys();
    QString text = keys.join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const FoundModule &module : modules) {
        const QJsonObject object = reportJson(module);
        QStringList fields;
        for (const QString &key : keys)
            fields << csvField(jsonValueText(object.value(key), QStringLiteral(" ")));
        text += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return text;
}

QString tableText(const QList<FoundModule> &modules)
{
    const QStringList header
        = {QStringLiteral("IP"),     QStringLiteral("NAME"),    QStringLiteral("MAC"),     QStringLiteral("VERSION"),
           QStringLiteral("MODE"),   QStringLiteral("IP TYPE"), QStringLiteral("LOCAL"),   QStringLiteral("REMOTE"),
           QStringLiteral("SERIAL"), QStringLiteral("MODBUS"),  QStringLiteral("ADAPTER"), QStringLiteral("NOTES")};
    QVector<QStringList> rows = {header};
    for (const FoundModule &module : modules) {
        const QJsonObject json = moduleToJson(module.record);
        const auto text = [&json](const char *key) { return jsonValueText(json.value(QLatin1String(key)), QString()); };
        rows.append({module.record.sourceIp, module.record.deviceName, module.record.macAddress, module.record.version,
                     text("mode"), text("ip-type"), text("ip") + QLatin1Char(':') + text("local-port"),
                     text("remote-ip") + QLatin1Char(':') + text("remote-port"),
                     text("baud") + QLatin1Char(' ') + lineFormatText(module.record), text("modbus"),
                     module.adapterName, notesText(module)});
    }
    QVector<int> widths(header.size(), 0);
    for (QStringList &row : rows) {
        for (QString &cell : row)
            cell = visibleText(cell); // names come from the modules and the system
    }
    for (const QStringList &row : qAsConst(rows)) {
        for (int column = 0; column < row.size(); ++column)
            widths[column] = qMax(widths[column], displayWidth(row.at(column)));
    }
    QString text;
    for (const QStringList &row : qAsConst(rows)) {
        QString line;
        for (int column = 0; column + 1 < row.size(); ++column)
            line += padded(row.at(column), widths[column] + 2);
        line += row.last();
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1); // the padding of empty columns at the end
        text += line + QLatin1Char('\n');
    }
    return text;
}

QString detailsText(const FoundModule &module)
{
    const QJsonObject object = reportJson(module);
    const QStringList keys = reportKeys();
    int width = 0;
    for (const QString &key : keys)
        width = qMax(width, key.size());
    QString text;
    for (const QString &key : keys) {
        if (!object.contains(key))
            continue;
        const QJsonValue value = object.value(key);
        const QString shown = value.isArray() && value.toArray().isEmpty() ? QStringLiteral("none")
                                                                           : jsonValueText(value, QStringLiteral(", "));
        text += padded(key, width + 2) + visibleText(shown) + QLatin1Char('\n');
    }
    return text;
}

QString lineFormatText(const DeviceRecord &record)
{
    return lineFormatByteText(lineFormatByte(record));
}
