#include "jsontext.h"

#include <QSet>
#include <QVector>

#include <optional>

namespace {

struct DuplicateKey {
    QString key;
    int offset;
};

// A JSON string starting at text[at] (its opening quote) as it reads; at is left after its closing quote. The text
// is known to be valid JSON.
QString readString(const QByteArray &text, int &at)
{
    QString value;
    int segment = ++at;
    const auto flush = [&](int end) { value += QString::fromUtf8(text.constData() + segment, end - segment); };
    while (at < text.size() && text.at(at) != '"') {
        if (text.at(at) != '\\') {
            ++at;
            continue;
        }
        flush(at);
        const char escaped = text.at(at + 1);
        at += 2;
        switch (escaped) {
        case 'b':
            value += QLatin1Char('\b');
            break;
        case 'f':
            value += QLatin1Char('\f');
            break;
        case 'n':
            value += QLatin1Char('\n');
            break;
        case 'r':
            value += QLatin1Char('\r');
            break;
        case 't':
            value += QLatin1Char('\t');
            break;
        case 'u':
            value += QChar(ushort(text.mid(at, 4).toUShort(nullptr, 16))); // a surrogate pair is two escapes
            at += 4;
            break;
        default: // '"', '\\', '/'
            value += QLatin1Char(escaped);
            break;
        }
        segment = at;
    }
    flush(at);
    ++at;
    return value;
}

// The first key that comes twice in one object of valid JSON text.
std::optional<DuplicateKey> findDuplicateKey(const QByteArray &text)
{
    struct Level {
        bool isObject;
        bool expectingKey;
        QSet<QString> keys;
    };
    QVector<Level> levels;
    int at = 0;
    while (at < text.size()) {
        const char c = text.at(at);
        switch (c) {
        case '{':
        case '[':
            levels.append({c == '{', c == '{', {}});
            ++at;
            break;
        case '}':
        case ']':
            levels.removeLast();
            ++at;
            break;
        case ',':
            if (!levels.isEmpty() && levels.last().isObject)
                levels.last().expectingKey = true;
            ++at;
            break;
        case '"':
            if (!levels.isEmpty() && levels.last().expectingKey) {
                const int start = at;
                const QString key = readString(text, at);
                Level &level = levels.last();
                level.expectingKey = false;
                if (level.keys.contains(key))
                    return DuplicateKey {key, start};
                level.keys.insert(key);
            } else { // a value: only its end matters
                for (++at; text.at(at) != '"'; ++at) {
                    if (text.at(at) == '\\')
                        ++at;
                }
                ++at;
            }
            break;
        default: // blanks, ':', numbers, true, false, null
            ++at;
            break;
        }
    }
    return std::nullopt;
}

} // namespace

bool parseJsonText(const QByteArray &text, QJsonDocument *document, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument parsed = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("%1 at offset %2").arg(parseError.errorString()).arg(parseError.offset);
        return false;
    }
    if (const std::optional<DuplicateKey> duplicate = findDuplicateKey(text)) {
        *error = QStringLiteral("duplicate key \"%1\" at offset %2").arg(duplicate->key).arg(duplicate->offset);
        return false;
    }
    *document = parsed;
    return true;
}
