#pragma once

#include "foundmodules.h"
#include "modulesearch.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// How kestrelctl shows modules. Every form uses the module keys of modulejson.h, plus "interface" (the adapter the
// module answered on) and the notes a search adds:
//   "foreign-subnet"      true when the module's own address lies in no subnet of that adapter
//   "ip-claimed-by-count" how many other modules claim the same address
//   "ip-claimed-by"       the first few (at most 3, in order) of their MACs
//   "also-answered-from"  further source addresses the same MAC answered from

// The notes' keys: they describe a sighting, so apply drops them from its file.
QStringList noteKeys();

// Every key in the order of the CSV columns and of `show`.
QStringList reportKeys();

// The module's parameters as export writes them: the module keys and "interface".
QJsonObject exportJson(const FoundModule &module);
// export's form and the notes.
QJsonObject reportJson(const FoundModule &module);

// search --json: the modules, how many answered, how many rounds the search took, the replies it may still miss
// (or, when the list is very likely complete, the repeats dropped) and the replies that failed the checksum. Written a module
// at a time, so that the text of a large search is never held whole; the same text as the whole document
// indented by QJsonDocument.
void writeSearchJson(const QList<FoundModule> &modules, const SearchOutcome &outcome,
                     const std::function<void(const QString &)> &write);
// The same for count modules that eachModule hands to its visitor one at a time, in order.
using ModuleVisitor = std::function<void(const FoundModule &)>;
void writeSearchJson(int count, const std::function<void(const ModuleVisitor &)> &eachModule,
                     const SearchOutcome &outcome, const std::function<void(const QString &)> &write);
QString searchJsonText(const QList<FoundModule> &modules, const SearchOutcome &outcome);
QString csvText(const QList<FoundModule> &modules); // search --csv: a header line, then one line per module
QString tableText(const QList<FoundModule> &modules); // search: aligned columns for people
QString detailsText(const FoundModule &module); // show: one "key  value" line per field

// One CSV cell (RFC 4180), quoted where needed; a cell a spreadsheet would run as a formula gets an apostrophe
// first, which makes it text.
QString csvField(const QString &field);

// A value of those forms as text: numbers without a fraction, true/false, list items joined by the separator.
QString jsonValueText(const QJsonValue &value, const QString &listSeparator = QStringLiteral(", "));

// The serial line as people write it, from the line-format byte the module reported when there is one: "8N1",
// "7E1", also what the form cannot show ("5N1", "8M1" for mark parity, "8S1" for space).
QString lineFormatText(const DeviceRecord &record);
// The same for a line-format byte as it stands in a frame (bits 6-7 ignored).
QString lineFormatByteText(quint8 format);
