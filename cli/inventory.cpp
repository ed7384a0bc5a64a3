#include "inventory.h"

#include "inputfile.h"
#include "jsontext.h"
#include "macaddress.h"
#include "modulejson.h"
#include "modulereport.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

constexpr qint64 LargestInventory = 16 * 1024 * 1024;
const QLatin1String MacKey("mac");

// Keys that say what a module is or where it was seen: a list made from a search carries them, nobody sets them.
bool isIgnoredKey(const QString &key)
{
    return key != MacKey
        && (identityModuleKeys().contains(key) || sightingModuleKeys().contains(key) || noteKeys().contains(key));
}

QString unknownColumn(const QString &key)
{
    return QStringLiteral("unknown field \"%1\"; the fields are mac, %2")
        .arg(key, settableModuleKeys().join(QStringLiteral(", ")));
}

// RFC 4180 records with the line each begins on: fields may be quoted, a quoted field may hold commas, quotes
// ("") and line breaks. False at an unclosed quote.
bool splitCsv(const QString &text, QVector<QPair<int, QStringList>> *records, int *badLine)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    bool fieldStarted = false;
    int line = 1;
    int recordLine = 1;
    const auto endRecord = [&] {
        fields << field;
        const bool blank = fields.size() == 1 && fields.first().trimmed().isEmpty() && !fieldStarted;
        if (!blank)
            records->append({recordLine, fields});
        fields.clear();
        field.clear();
        fieldStarted = false;
        recordLine = line;
    };
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == QLatin1Char('\n'))
                    ++line;
                field += c;
            }
        } else if (c == QLatin1Char('"') && field.isEmpty()) {
            quoted = true;
            fieldStarted = true;
        } else if (c == QLatin1Char(',')) {
            fields << field;
            field.clear();
            fieldStarted = true;
        } else if (c == QLatin1Char('\n')) {
            ++line;
            endRecord();
        } else if (c != QLatin1Char('\r')) {
            field += c;
        }
    }
    if (quoted) {
        *badLine = recordLine;
        return false;
    }
    if (!field.isEmpty() || !fields.isEmpty())
        endRecord();
    return true;
}

// A cell a spreadsheet would run as a formula is written with an apostrophe first (search --csv does so); the
// apostrophe is not part of the value.
QString cellValue(const QString &cell)
{
    static const QString starters = QStringLiteral("=+-@\t\r");
    if (cell.size() > 1 && cell.at(0) == QLatin1Char('\'') && starters.contains(cell.at(1)))
        return cell.mid(1);
    return cell;
}

std::optional<Failure> readCsv(const QString &path, const QString &text, QVector<InventoryRow> *rows)
{
    QVector<QPair<int, QStringList>> records;
    int badLine = 0;
    if (!splitCsv(text, &records, &badLine))
        return Failure {ExitStatus::UsageError,
                        QStringLiteral("%1: line %2: a quoted cell is never closed").arg(path).arg(badLine)};
    if (records.isEmpty())
        return Failure {ExitStatus::UsageError,
                        QStringLiteral("%1: empty; expected a header row such as mac,name,ip").arg(path)};
    QStringList header;
    for (const QString &cell : records.first().second)
        header << cell.trimmed();
    if (!header.contains(MacKey))
        return Failure {
            ExitStatus::UsageError,
            QStringLiteral("%1: line %2: the header has no \"mac\" column").arg(path).arg(records.first().first)};
    const QStringList settable = settableModuleKeys();
    for (int column = 0; column < header.size(); ++column) {
        const QString &key = header.at(column);
        if (key != MacKey && !settable.contains(key) && !isIgnoredKey(key))
            return Failure {
                ExitStatus::UsageError,
                QStringLiteral("%1: line %2: %3").arg(path).arg(records.first().first).arg(unknownColumn(key))};
        if (header.indexOf(key) != column)
            return Failure {ExitStatus::UsageError,
                            QStringLiteral("%1: line %2: the column \"%3\" comes twice")
                                .arg(path)
                                .arg(records.first().first)
                                .arg(key)};
    }
    for (int r = 1; r < records.size(); ++r) {
        const int line = records.at(r).first;
        const QStringList &cells = records.at(r).second;
        if (cells.size() != header.size())
            return Failure {ExitStatus::UsageError,
                            QStringLiteral("%1: line %2: %3 cells, the header has %4")
                                .arg(path)
                                .arg(line)
                                .arg(cells.size())
                                .arg(header.size())};
        InventoryRow row;
        row.line = line;
        for (int column = 0; column < header.size(); ++column) {
            const QString &key = header.at(column);
            const QString value = cellValue(cells.at(column));
            if (key == MacKey) {
                const std::optional<QString> mac = parseMacAddress(value.trimmed());
                if (!mac)
                    return Failure {ExitStatus::UsageError,
                                    QStringLiteral("%1: line %2: \"%3\" is not a MAC address such as 001A2B3C4D5E")
                                        .arg(path)
                                        .arg(line)
                                        .arg(value)};
                row.mac = *mac;
            } else if (!value.isEmpty() && !isIgnoredKey(key)) {
                row.fields.insert(key, typedModuleValue(key, value));
            }
        }
        rows->append(row);
    }
    return std::nullopt;
}

std::optional<Failure> readJson(const QString &path, const QByteArray &content, QVector<InventoryRow> *rows)
{
    QJsonDocument document;
    QString error;
    if (!parseJsonText(content, &document, &error))
        return Failure {ExitStatus::UsageError, QStringLiteral("%1: %2").arg(path, error)};
    QJsonArray modules;
    if (document.isArray())
        modules = document.array();
    else if (document.object().value(QStringLiteral("modules")).isArray())
        modules = document.object().value(QStringLiteral("modules")).toArray();
    else
        return Failure {ExitStatus::UsageError,
                        QStringLiteral("%1: expected an array of modules, or an object with \"modules\"").arg(path)};
    for (int i = 0; i < modules.size(); ++i) {
        const QJsonObject object = modules.at(i).toObject();
        const std::optional<QString> mac = parseMacAddress(object.value(MacKey).toString());
        if (!modules.at(i).isObject() || !mac)
            return Failure {ExitStatus::UsageError,
                            QStringLiteral("%1: module %2: expected an object with \"mac\", 12 hexadecimal digits")
                                .arg(path)
                                .arg(i + 1)};
        InventoryRow row;
        row.line = i + 1;
        row.mac = *mac;
        for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
            if (it.key() != MacKey && !isIgnoredKey(it.key()))
                row.fields.insert(it.key(), it.value());
        }
        rows->append(row);
    }
    return std::nullopt;
}

} // namespace

std::optional<Failure> readInventory(const QString &path, QVector<InventoryRow> *rows)
{
    QByteArray content;
    QString error;
    if (!readInputFile(path, LargestInventory, &content, &error))
        return Failure {ExitStatus::UsageError, error};
    const QByteArray start = content.trimmed().left(1);
    if (start == "[" || start == "{")
        return readJson(path, content, rows);
    return readCsv(path, QString::fromUtf8(content), rows);
}

QString inventoryCsv(const QVector<InventoryRow> &rows, const QStringList &keys)
{
    QString text = (QStringList(MacKey) + keys).join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const InventoryRow &row : rows) {
        QStringList cells {row.mac};
        for (const QString &key : keys)
            cells << csvField(jsonValueText(row.fields.value(key)));
        text += cells.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return text;
}
