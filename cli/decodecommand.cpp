// decode: what a captured datagram says, to diagnose a capture.

#include "commands.h"

#include "commandline.h"
#include "framechecksum.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "framelayout.h"
#include "inputfile.h"
#include "modulejson.h"
#include "modulereport.h"
#include "output.h"
#include "receivefilter.h"
#include "replyframe.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPair>
#include <QRegularExpression>
#include <QVector>

namespace {

constexpr qint64 LargestInput = 64 * 1024;
constexpr int FieldWidth = 13;

QString hexBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString field(const QString &name, const QString &value)
{
    return name.leftJustified(FieldWidth) + value + QLatin1Char('\n');
}

// The hexadecimal digits of the arguments (or of stdin for "-"), blanks and colons between bytes allowed.
std::optional<Failure> readHex(const CommandLine &commandLine, QByteArray *bytes)
{
    QString text;
    const QStringList words = commandLine.arguments();
    if (words == QStringList(QStringLiteral("-"))) {
        QByteArray input;
        QString error;
        if (!readInputFile(QStringLiteral("-"), LargestInput, &input, &error))
            return Failure {ExitStatus::UsageError, error};
        if (input.trimmed().isEmpty())
            return commandLine.usageError(QStringLiteral("stdin is empty; expected a frame's hexadecimal digits"));
        // A raw capture rather than its hexadecimal text: said so, not cut at its first zero byte.
        for (int i = 0; i < input.size(); ++i) {
            const quint8 byte = quint8(input.at(i));
            if (byte == 0 || byte >= 0x80 || (byte < 0x20 && !QByteArray("\t\n\r\f\v").contains(char(byte))))
                return commandLine.usageError(
                    QStringLiteral("stdin is not text: byte %1 is %2; expected hexadecimal digits (xxd -p turns a raw "
                                   "capture into them)")
                        .arg(i + 1)
                        .arg(hexBytes(input.mid(i, 1))));
        }
        text = QString::fromLatin1(input.constData(), input.size());
    } else {
        text = words.join(QLatin1Char(' '));
    }
    text.remove(QRegularExpression(QStringLiteral("[\\s:]")));
    static const QRegularExpression hex(QStringLiteral("\\A(?:[0-9A-Fa-f]{2})+\\z"));
    if (!hex.match(text).hasMatch())
        return commandLine.usageError(words.isEmpty() ? QStringLiteral("the frame's hexadecimal digits are missing")
                                                      : QStringLiteral("expected pairs of hexadecimal digits"));
    *bytes = QByteArray::fromHex(text.toLatin1());
    return std::nullopt;
}

QString hex16(quint16 value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

QString checksumVerdict(const QByteArray &plain)
{
    const quint16 computed = frameChecksum(plain.constData(), ChecksumOffset);
    const quint16 stored = quint16(byteAt(plain, ChecksumOffset) | (byteAt(plain, ChecksumOffset + 1) << 8));
    if (computed == stored)
        return QStringLiteral("valid (%1, low byte first at bytes 50-51)").arg(hex16(computed));
    return QStringLiteral("WRONG: bytes 50-51 hold %1, bytes 0-49 give %2 (another key, or a damaged capture)")
        .arg(hex16(stored), hex16(computed));
}

// What a frame says, as (field, value) pairs in the order of the text: the text and --json print the same.
QVector<QPair<QString, QJsonValue>> frameFields(const QByteArray &plain, bool isConfigFrame)
{
    const DeviceRecord record = decodeDeviceReply(plain, QString());
    const QJsonObject json = moduleToJson(record);
    QVector<QPair<QString, QJsonValue>> fields;
    fields.append({QStringLiteral("mac"), record.macAddress});
    if (isConfigFrame)
        fields.append({QStringLiteral("marker"), QStringLiteral("\"1111\" at bytes 6-9")});
    else
        fields.append({QStringLiteral("version"), record.version});
    fields.append({QStringLiteral("name"), record.deviceName});
    fields.append({QStringLiteral("name-hex"), hexBytes(record.nameField)});
    // The whole line-format byte has a line of its own below, with what it means.
    for (const QString &key : settableModuleKeys()) {
        if (key != QLatin1String("name") && key != QLatin1String("name-hex") && key != QLatin1String("line-format"))
            fields.append({key, json.value(key)});
    }
    const quint8 format = byteAt(plain, LineFormatOffset);
    fields.append({QStringLiteral("line-format"),
                   QStringLiteral("%1 (%2)").arg(QStringLiteral("%1").arg(format, 2, 16, QLatin1Char('0')).toUpper(),
                                                 lineFormatByteText(format))});
    fields.append({QStringLiteral("reserved"),
                   QStringLiteral("bytes 46-47: %1, byte 49: %2")
                       .arg(hexBytes(plain.mid(LineFormatOffset + 1, 2)), hexBytes(plain.mid(ModbusOffset + 1, 1)))});
    fields.append({isConfigFrame ? QStringLiteral("filler") : QStringLiteral("bytes 52-63"),
                   hexBytes(plain.mid(FillerOffset, FillerSize))});
    return fields;
}

// The fields as "name  value" lines, or as one JSON object.
QString fieldsText(const QVector<QPair<QString, QJsonValue>> &fields, bool json)
{
    if (json) {
        QJsonObject object;
        for (const auto &entry : fields)
            object.insert(entry.first, entry.second);
        return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented));
    }
    QString text;
    for (const auto &entry : fields)
        text += field(entry.first, jsonValueText(entry.second));
    return text;
}

} // namespace

int decodeCommand(const QStringList &arguments)
{
    CommandLine commandLine(
        QStringLiteral("decode"), QStringLiteral("HEX"),
        QStringLiteral("Decrypts one captured datagram (the 64 bytes of a reply or a configuration frame, as\n"
                       "hexadecimal digits; blanks and colons between bytes are allowed, \"-\" reads stdin) and\n"
                       "prints every field with the checksum and marker verdicts. Exit status %1 when the frame\n"
                       "is not 64 bytes or its checksum is wrong.\n"
                       "Example: kestrelctl decode \"$(tshark -r capture.pcap -T fields -e data | head -1)\"\n")
                .arg(ExitStatus::BadFrame)
            + frameKeySourcesHelp());
    commandLine.addArgument(QStringLiteral("HEX"), QStringLiteral("The datagram's bytes in hexadecimal, or -."));
    commandLine.addOption(keyOption());
    commandLine.addOption(QCommandLineOption(QStringLiteral("plain"),
                                             QStringLiteral("The bytes are already decrypted: do not decrypt them.")));
    commandLine.addOption(jsonOption(QStringLiteral("the fields")));
    if (const std::optional<int> status = commandLine.parse(arguments))
        return *status;

    QByteArray datagram;
    if (const std::optional<Failure> failure = readHex(commandLine, &datagram))
        return reportFailure(*failure);
    QString keySource;
    const bool plainGiven = commandLine.isSet(QStringLiteral("plain"));
    if (!plainGiven) {
        if (const std::optional<Failure> failure = installFrameKey(commandLine, &keySource))
            return reportFailure(*failure);
    }

    const bool json = commandLine.isSet(QStringLiteral("json"));
    if (datagram == QByteArray(DiscoveryRequest, DiscoveryRequestSize)) {
        printOut(fieldsText(
            {{QStringLiteral("kind"), QStringLiteral("discovery request \"FFFF\" (sent as it is, not encrypted)")}},
            json));
        return ExitStatus::Success;
    }
    if (datagram.size() != FrameSize) {
        printOut(fieldsText({{QStringLiteral("length"), QStringLiteral("%1 bytes").arg(datagram.size())}}, json));
        return reportFailure({ExitStatus::BadFrame,
                              QStringLiteral("a frame is %1 bytes; this is %2").arg(FrameSize).arg(datagram.size())});
    }

    QByteArray plain = datagram;
    if (!plainGiven)
        decryptFrame(reinterpret_cast<quint8 *>(plain.data()), FrameSize);
    const bool valid = hasValidFrameChecksum(plain);
    const bool isConfigFrame = carriesConfigMarker(plain);

    QVector<QPair<QString, QJsonValue>> fields;
    fields.append({QStringLiteral("length"), QStringLiteral("%1 bytes").arg(FrameSize)});
    fields.append({QStringLiteral("key"), plainGiven ? QStringLiteral("none: given decrypted (--plain)") : keySource});
    fields.append({QStringLiteral("plain"), hexBytes(plain)});
    fields.append({QStringLiteral("checksum"), checksumVerdict(plain)});
    fields.append({QStringLiteral("kind"),
                   !valid              ? QStringLiteral("unknown: the checksum is wrong, the fields below mean nothing")
                       : isConfigFrame ? QStringLiteral("configuration frame (marker \"1111\" at bytes 6-9)")
                       : looksLikeModuleReply(plain)
                       ? QStringLiteral("reply")
                       : QStringLiteral("no module's reply: a group MAC, or IP type, work mode or Modbus conversion "
                                        "beyond their values; the tools drop it as noise")});
    fields += frameFields(plain, isConfigFrame);
    printOut(fieldsText(fields, json));

    if (valid)
        return ExitStatus::Success;
    if (!plainGiven && hasValidFrameChecksum(datagram))
        printError(QStringLiteral("the bytes as given carry a valid checksum: were they captured decrypted? "
                                  "Try --plain"));
    return reportFailure({ExitStatus::BadFrame, QStringLiteral("the checksum is wrong")});
}
