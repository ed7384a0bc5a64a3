#include "devicename.h"

#include "frameconstants.h"
#include "framelayout.h"

#include <QVector>

#include <QtGlobal>
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
#include <QStringDecoder>
#include <QStringEncoder>
#else
#include <QTextCodec>
#endif

namespace {

enum class NameEncoding { Utf8, Gb18030 };

// One character read from the name bytes; a length of 0 means no character of the encoding starts there.
struct Sequence {
    int length = 0;
    uint codePoint = 0;
};

struct ShownName {
    NameEncoding encoding = NameEncoding::Utf8;
    QString text;
    int undecodableBytes = 0;
};

constexpr uint FirstPrintable = 0x20;
constexpr uint LastAscii = 0x7F; // DEL, a control as well
constexpr uint LastC1Control = 0x9F;

bool inRange(quint8 byte, quint8 low, quint8 high)
{
    return byte >= low && byte <= high;
}

// Well-formed UTF-8 only: no overlong forms, no surrogates, nothing above U+10FFFF, no character cut short.
Sequence utf8Sequence(const QByteArray &bytes, int at)
{
    const quint8 lead = byteAt(bytes, at);
    if (lead <= LastAscii)
        return {1, lead};
    int length = 0;
    uint codePoint = 0;
    quint8 secondLow = 0x80; // the second byte's range narrows for a few leads
    quint8 secondHigh = 0xBF;
    if (inRange(lead, 0xC2, 0xDF)) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (inRange(lead, 0xE0, 0xEF)) {
        length = 3;
        codePoint = lead & 0x0F;
        secondLow = lead == 0xE0 ? 0xA0 : secondLow; // overlong
        secondHigh = lead == 0xED ? 0x9F : secondHigh; // surrogates
    } else if (inRange(lead, 0xF0, 0xF4)) {
        length = 4;
        codePoint = lead & 0x07;
        secondLow = lead == 0xF0 ? 0x90 : secondLow; // overlong
        secondHigh = lead == 0xF4 ? 0x8F : secondHigh; // above U+10FFFF
    } else {
        return {};
    }
    if (at + length > bytes.size())
        return {};
    for (int i = 1; i < length; ++i) {
        const quint8 next = byteAt(bytes, at + i);
        if (!(i == 1 ? inRange(next, secondLow, secondHigh) : inRange(next, 0x80, 0xBF)))
            return {};
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    return {length, codePoint};
}

QString fromCodePoint(uint codePoint)
{
    const char32_t character = codePoint;
    return QString::fromUcs4(&character, 1);
}

// GB18030 through ICU: Qt 6's string converters, Qt 5's text codec. Either converts one short piece at a time,
// statelessly; nullopt when this Qt has no GB18030 at all.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
constexpr const char *Gb18030 = "GB18030";

std::optional<QString> gb18030ToUnicode(const QByteArray &bytes)
{
    QStringDecoder decoder(Gb18030, QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return std::nullopt;
    return QString(decoder.decode(bytes));
}

std::optional<QByteArray> gb18030FromUnicode(const QString &text)
{
    QStringEncoder encoder(Gb18030, QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return std::nullopt;
    return QByteArray(encoder.encode(text));
}
#else
QTextCodec *gb18030Codec()
{
    static QTextCodec *const codec = QTextCodec::codecForName("GB18030");
    return codec;
}

std::optional<QString> gb18030ToUnicode(const QByteArray &bytes)
{
    if (!gb18030Codec())
        return std::nullopt;
    return gb18030Codec()->toUnicode(bytes);
}

std::optional<QByteArray> gb18030FromUnicode(const QString &text)
{
    if (!gb18030Codec())
        return std::nullopt;
    return gb18030Codec()->fromUnicode(text);
}
#endif

// The shape of a GB18030 character: one byte 00-7F, two bytes 81-FE 40-7E|80-FE, or four bytes 81-FE 30-39 81-FE
// 30-39. 0 when the bytes have none of these shapes, a character cut short included.
int gb18030Length(const QByteArray &bytes, int at)
{
    const quint8 lead = byteAt(bytes, at);
    if (lead <= LastAscii)
        return 1;
    if (!inRange(lead, 0x81, 0xFE) || at + 1 >= bytes.size())
        return 0;
    const quint8 second = byteAt(bytes, at + 1);
    if (inRange(second, 0x40, 0x7E) || inRange(second, 0x80, 0xFE))
        return 2;
    if (!inRange(second, 0x30, 0x39) || at + 3 >= bytes.size())
        return 0;
    return inRange(byteAt(bytes, at + 2), 0x81, 0xFE) && inRange(byteAt(bytes, at + 3), 0x30, 0x39) ? 4 : 0;
}

// GB18030 maps the planes above the BMP in order onto the four-byte sequences 90 30 81 30 to E3 32 9A 35. That
// mapping is done here, not by the converter: Qt's own codec, which a build without ICU (Windows) uses, keeps only
// the BMP.
constexpr uint FirstSupplementary = 0x10000;
constexpr uint LastCodePoint = 0x10FFFF;
constexpr quint8 FirstSupplementaryLead = 0x90;

Sequence supplementarySequence(const QByteArray &bytes, int at)
{
    const uint offset = ((uint(byteAt(bytes, at) - FirstSupplementaryLead) * 10 + (byteAt(bytes, at + 1) - 0x30)) * 126
                         + (byteAt(bytes, at + 2) - 0x81))
            * 10
        + (byteAt(bytes, at + 3) - 0x30);
    if (offset > LastCodePoint - FirstSupplementary)
        return {};
    return {4, FirstSupplementary + offset};
}

QByteArray supplementaryBytes(uint codePoint)
{
    uint offset = codePoint - FirstSupplementary;
    char bytes[4];
    bytes[3] = char(0x30 + offset % 10);
    offset /= 10;
    bytes[2] = char(0x81 + offset % 126);
    offset /= 126;
    bytes[1] = char(0x30 + offset % 10);
    bytes[0] = char(FirstSupplementaryLead + offset / 10);
    return QByteArray(bytes, 4);
}

// The converter maps a character; mapping it back to the same bytes proves that the bytes stand for one. (The ICU
// converter counts no invalid input and drops a cut character silently, so its own reports cannot tell.)
Sequence gb18030Sequence(const QByteArray &bytes, int at)
{
    const int length = gb18030Length(bytes, at);
    if (length == 1)
        return {1, byteAt(bytes, at)};
    if (length == 0)
        return {};
    if (length == 4 && byteAt(bytes, at) >= FirstSupplementaryLead)
        return supplementarySequence(bytes, at);
    const QByteArray piece = bytes.mid(at, length);
    const std::optional<QString> text = gb18030ToUnicode(piece);
    if (!text)
        return {};
    const QVector<uint> codePoints = text->toUcs4();
    if (codePoints.size() != 1 || gb18030FromUnicode(fromCodePoint(codePoints.first())) != piece)
        return {};
    return {length, codePoints.first()};
}

void appendEscape(QString &text, QLatin1Char kind, uint value, int digits)
{
    text += QLatin1Char('\\');
    text += kind;
    text += QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

// Characters that would hide themselves or reorder what follows them on screen.
bool isFormattingCharacter(uint codePoint)
{
    return codePoint == 0x061C || codePoint == 0x200E || codePoint == 0x200F // bidirectional marks
        || (codePoint >= 0x202A && codePoint <= 0x202E) // embeddings and overrides
        || (codePoint >= 0x2066 && codePoint <= 0x2069) // isolates
        || codePoint == 0x2028 || codePoint == 0x2029; // line and paragraph separators
}

void appendVisible(QString &text, uint codePoint)
{
    if (codePoint == '\\')
        text += QLatin1String("\\\\");
    else if (codePoint < FirstPrintable || codePoint == LastAscii)
        appendEscape(text, QLatin1Char('x'), codePoint, 2);
    else if ((codePoint > LastAscii && codePoint <= LastC1Control) || isFormattingCharacter(codePoint))
        appendEscape(text, QLatin1Char('u'), codePoint, 4);
    else
        text += fromCodePoint(codePoint);
}

ShownName decodeName(const QByteArray &bytes, NameEncoding encoding)
{
    ShownName shown;
    shown.encoding = encoding;
    for (int at = 0; at < bytes.size();) {
        const Sequence sequence = encoding == NameEncoding::Utf8 ? utf8Sequence(bytes, at) : gb18030Sequence(bytes, at);
        if (sequence.length == 0) {
            appendEscape(shown.text, QLatin1Char('x'), byteAt(bytes, at), 2);
            ++shown.undecodableBytes;
            ++at;
        } else {
            appendVisible(shown.text, sequence.codePoint);
            at += sequence.length;
        }
    }
    return shown;
}

ShownName showName(const QByteArray &nameField)
{
    const int end = nameField.indexOf('\0');
    const QByteArray bytes = end < 0 ? nameField : nameField.left(end);
    const ShownName utf8 = decodeName(bytes, NameEncoding::Utf8);
    if (utf8.undecodableBytes == 0)
        return utf8;
    const ShownName gb18030 = decodeName(bytes, NameEncoding::Gb18030);
    return gb18030.undecodableBytes < utf8.undecodableBytes ? gb18030 : utf8;
}

std::optional<QByteArray> encodeCharacter(uint codePoint, NameEncoding encoding)
{
    const QString text = fromCodePoint(codePoint);
    if (encoding == NameEncoding::Utf8)
        return text.toUtf8();
    if (codePoint >= FirstSupplementary)
        return supplementaryBytes(codePoint);
    const std::optional<QByteArray> encoded = gb18030FromUnicode(text);
    if (!encoded)
        return std::nullopt;
    const QByteArray &bytes = *encoded;
    const Sequence back = bytes.isEmpty() ? Sequence {} : gb18030Sequence(bytes, 0);
    if (back.length != bytes.size() || back.codePoint != codePoint)
        return std::nullopt;
    return bytes;
}

} // namespace

QString displayDeviceName(const QByteArray &nameField)
{
    return showName(nameField).text;
}

namespace {

// The name's characters, each encoded the way the original field was; none when one cannot be encoded.
std::optional<QVector<QByteArray>> encodedCharacters(const QString &name, const QByteArray &originalField)
{
    const NameEncoding encoding = showName(originalField).encoding;
    QVector<QByteArray> characters;
    for (int i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        uint codePoint = c.unicode();
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
            codePoint = QChar::surrogateToUcs4(c, name.at(++i));
        else if (c.isSurrogate() || codePoint == 0)
            return std::nullopt;
        const std::optional<QByteArray> bytes = encodeCharacter(codePoint, encoding);
        if (!bytes)
            return std::nullopt;
        characters.append(*bytes);
    }
    return characters;
}

} // namespace

std::optional<QByteArray> encodeDeviceName(const QString &name, const QByteArray &originalField)
{
    // Every character is checked, also those beyond the cut: a name that cannot be sent is refused as a whole.
    const std::optional<QVector<QByteArray>> characters = encodedCharacters(name, originalField);
    if (!characters)
        return std::nullopt;
    QByteArray field;
    for (const QByteArray &character : *characters) {
        if (field.size() + character.size() > NameSize)
            break;
        field += character;
    }
    return field.leftJustified(NameSize, '\0');
}

std::optional<int> encodedDeviceNameSize(const QString &name, const QByteArray &originalField)
{
    const std::optional<QVector<QByteArray>> characters = encodedCharacters(name, originalField);
    if (!characters)
        return std::nullopt;
    int size = 0;
    for (const QByteArray &character : *characters)
        size += character.size();
    return size;
}
