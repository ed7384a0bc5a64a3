#include "devicename.h"

#include <QtTest>

// The byte strings below were written out by hand or produced with iconv, never by the program's own codecs:
//   printf '泵站控制器' | iconv -f UTF-8 -t GB18030 | xxd -p      -> b1c3d5bebfd8d6c6c6f7
//   printf '泵站😀' | iconv -f UTF-8 -t GB18030 | xxd -p          -> b1c3d5be9439fc36
//   printf '\xe6\xb8\xa9\xe5\xba\xa6\xe4\xbc\xa0\xe6' | iconv -f GB18030 -t UTF-8
//                                                    -> U+5A13 U+2541 U+5BB3 U+6D7C U+72B3
// GBK and GB18030 agree on the two-byte characters used here.

namespace {

QByteArray field(const char *hex)
{
    return QByteArray::fromHex(hex);
}

} // namespace

class TestDeviceName : public QObject
{
    Q_OBJECT

private slots:
    void shown_data();
    void shown();
    void shownNameHasNoHiddenCharacters();
    void encoded_data();
    void encoded();
    void refused_data();
    void refused();
};

void TestDeviceName::shown_data()
{
    QTest::addColumn<QByteArray>("nameField");
    QTest::addColumn<QString>("shown");

    const auto row
        = [](const char *title, const char *hex, const QString &shown) { QTest::newRow(title) << field(hex) << shown; };
    // Plain names.
    row("ASCII", "4B53542D303100000000", QStringLiteral("KST-01"));
    row("ten bytes, no zero", "4142434445464748494A", QStringLiteral("ABCDEFGHIJ"));
    row("empty", "00000000000000000000", QString());
    row("bytes after an embedded zero are not part of it", "414200B1C3D5BE434400", QStringLiteral("AB"));

    // Which encoding.
    row("UTF-8", "E6B8A9E5BAA600000000", QStringLiteral("\u6E29\u5EA6"));
    row("GBK from a Chinese system", "B1C3D5BE000000000000", QStringLiteral("\u6CF5\u7AD9"));
    row("GBK filling all ten bytes", "B1C3D5BEBFD8D6C6C6F7", QStringLiteral("\u6CF5\u7AD9\u63A7\u5236\u5668"));
    row("GB18030 four-byte character", "B1C3D5BE9439FC360000", QStringLiteral("\u6CF5\u7AD9\U0001F600"));
    row("UTF-8 four-byte character", "41F09F98800000000000", QStringLiteral("A\U0001F600"));
    // The planes above the BMP lie in order from 90 30 81 30 (U+10000) to E3 32 9A 35 (U+10FFFF); nothing beyond.
    row("GB18030 first and last characters above the BMP", "90308130E3329A350000",
        QStringLiteral("\U00010000\U0010FFFF"));
    row("GB18030 four bytes beyond U+10FFFF", "E3329A36000000000000", QStringLiteral("\\xE32\\x9A6"));
    // A tool that cut a UTF-8 name at byte 10 split its fourth character: not valid UTF-8, but valid GB18030.
    row("three-byte UTF-8 character cut at byte 10, read as GB18030", "E6B8A9E5BAA6E4BCA0E6",
        QStringLiteral("\u5A13\u2541\u5BB3\u6D7C\u72B3"));
    // Neither reads it whole: each leaves the cut byte over; on a tie UTF-8 wins.
    row("UTF-8 cut at byte 10, neither reads it whole", "414243E6B8A9E5BAA6E4", QStringLiteral("ABC\u6E29\u5EA6\\xE4"));
    row("GBK cut at byte 10", "B1C3D5BEBFD8D6C641B1", QStringLiteral("\u6CF5\u7AD9\u63A7\u5236A\\xB1"));

    // Undecodable bytes are shown, never dropped.
    row("FF in ASCII", "41FF4200000000000000", QStringLiteral("A\\xFFB"));
    row("lone 80", "80000000000000000000", QStringLiteral("\\x80"));
    row("only undecodable bytes", "FFFFFF00000000000000", QStringLiteral("\\xFF\\xFF\\xFF"));

    // Nothing can hide itself or change how a row reads.
    row("C0 control BEL", "41074200000000000000", QStringLiteral("A\\x07B"));
    row("escape character", "1B5B324A000000000000", QStringLiteral("\\x1B[2J"));
    row("tab and newline", "41090A42000000000000", QStringLiteral("A\\x09\\x0AB"));
    row("DEL", "7F000000000000000000", QStringLiteral("\\x7F"));
    row("C1 control NEL", "41C28542000000000000", QStringLiteral("A\\u0085B"));
    row("right-to-left override", "61E280AE666200000000", QStringLiteral("a\\u202Efb"));
    row("left-to-right embedding", "E280AA41000000000000", QStringLiteral("\\u202AA"));
    row("pop directional formatting", "41E280AC000000000000", QStringLiteral("A\\u202C"));
    row("first isolate", "E281A841E281A9000000", QStringLiteral("\\u2068A\\u2069"));
    row("right-to-left isolate", "E281A741000000000000", QStringLiteral("\\u2067A"));
    row("right-to-left mark", "41E2808F420000000000", QStringLiteral("A\\u200FB"));
    row("line separator", "41E280A8420000000000", QStringLiteral("A\\u2028B"));

    // A backslash of the name is doubled, so an escape cannot be faked.
    row("backslash", "415C4200000000000000", QStringLiteral("A\\\\B"));
    row("text that looks like an escape", "5C784646000000000000", QStringLiteral("\\\\xFF"));
}

void TestDeviceName::shown()
{
    QFETCH(QByteArray, nameField);
    QFETCH(QString, shown);
    QCOMPARE(displayDeviceName(nameField), shown);
}

void TestDeviceName::shownNameHasNoHiddenCharacters()
{
    // Every pair of bytes in every position of a name: what is shown never holds a control or formatting character.
    QByteArray name(4, 'A');
    for (int first = 0; first < 256; ++first) {
        for (int second = 0; second < 256; ++second) {
            name[1] = char(first);
            name[2] = char(second);
            const QString shown = displayDeviceName(name);
            for (const QChar c : shown) {
                const ushort u = c.unicode();
                const bool hidden = u < 0x20 || (u >= 0x7F && u <= 0x9F) || (u >= 0x202A && u <= 0x202E)
                    || (u >= 0x2066 && u <= 0x2069) || u == 0x200E || u == 0x200F || u == 0x061C || u == 0x2028
                    || u == 0x2029;
                if (hidden)
                    QFAIL(qPrintable(QStringLiteral("bytes %1 %2 show U+%3")
                                         .arg(first, 2, 16, QLatin1Char('0'))
                                         .arg(second, 2, 16, QLatin1Char('0'))
                                         .arg(u, 4, 16, QLatin1Char('0'))));
            }
        }
    }
}

void TestDeviceName::encoded_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray none;
    const QByteArray utf8Original = field("E6B8A9E5BAA600000000");
    const QByteArray gbkOriginal = field("B1C3D5BE000000000000");
    const QByteArray asciiOriginal = field("4B53542D303100000000");

    QTest::newRow("ASCII, no original") << QStringLiteral("ABC") << none << field("41424300000000000000");
    QTest::newRow("empty name") << QString() << gbkOriginal << field("00000000000000000000");
    QTest::newRow("Chinese, no original: UTF-8")
        << QStringLiteral("\u6CF5\u7AD9") << none << field("E6B3B5E7AB9900000000");
    QTest::newRow("Chinese, ASCII original: UTF-8")
        << QStringLiteral("\u6CF5\u7AD9") << asciiOriginal << field("E6B3B5E7AB9900000000");
    QTest::newRow("Chinese, UTF-8 original")
        << QStringLiteral("\u6CF5\u7AD9") << utf8Original << field("E6B3B5E7AB9900000000");
    QTest::newRow("Chinese, GBK original")
        << QStringLiteral("\u6CF5\u7AD9") << gbkOriginal << field("B1C3D5BE000000000000");
    QTest::newRow("GBK original, five characters fill the field")
        << QStringLiteral("\u6CF5\u7AD9\u63A7\u5236\u5668") << gbkOriginal << field("B1C3D5BEBFD8D6C6C6F7");
    QTest::newRow("GBK original, the sixth character is cut")
        << QStringLiteral("\u6CF5\u7AD9\u63A7\u5236\u5668A") << gbkOriginal << field("B1C3D5BEBFD8D6C6C6F7");
    QTest::newRow("GBK original, a two-byte character does not fit after nine bytes")
        << QStringLiteral("ABCDEFGHI\u6CF5") << gbkOriginal << field("41424344454647484900");
    QTest::newRow("GBK original, four-byte character")
        << QStringLiteral("\u6CF5\u7AD9\U0001F600") << gbkOriginal << field("B1C3D5BE9439FC360000");
    QTest::newRow("GBK original cut at byte 10 still counts as GBK")
        << QStringLiteral("\u6CF5\u7AD9") << field("B1C3D5BEBFD8D6C641B1") << field("B1C3D5BE000000000000");
    QTest::newRow("UTF-8 original, three-byte characters cut at 9")
        << QStringLiteral("\u6E29\u5EA6\u4F20\u611F\u5668") << utf8Original << field("E6B8A9E5BAA6E4BCA000");
    QTest::newRow("UTF-8, a four-byte character does not fit after eight bytes")
        << QStringLiteral("ABCDEFGH\U0001F600") << utf8Original << field("41424344454647480000");
    QTest::newRow("UTF-8, a two-byte character fits exactly")
        << QStringLiteral("ABCDEFGH\u00E9") << utf8Original << field("4142434445464748C3A9");
    QTest::newRow("backslash is a plain character, escapes are not read back")
        << QStringLiteral("A\\x07") << none << field("415C7830370000000000");
}

void TestDeviceName::encoded()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, original);
    QFETCH(QByteArray, expected);
    const std::optional<QByteArray> encoded = encodeDeviceName(name, original);
    QVERIFY(encoded.has_value());
    QCOMPARE(encoded->toHex(), expected.toHex());
}

void TestDeviceName::refused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("original");

    const QChar highSurrogate(0xD83D);
    const QChar lowSurrogate(0xDE00);
    for (const auto &original : {std::make_pair("UTF-8 original", field("E6B8A9E5BAA600000000")),
                                 std::make_pair("GBK original", field("B1C3D5BE000000000000"))}) {
        QTest::addRow("%s, lone high surrogate", original.first)
            << QString(QStringLiteral("AB") + highSurrogate) << original.second;
        QTest::addRow("%s, lone low surrogate", original.first)
            << QString(lowSurrogate + QStringLiteral("AB")) << original.second;
        QTest::addRow("%s, swapped surrogates", original.first)
            << (QString(lowSurrogate) + highSurrogate) << original.second;
        QTest::addRow("%s, beyond the cut", original.first)
            << QString(QStringLiteral("ABCDEFGHIJKL") + highSurrogate) << original.second;
        QTest::addRow("%s, zero character", original.first)
            << QString(QStringLiteral("AB") + QChar(0) + QStringLiteral("CD")) << original.second;
    }
}

void TestDeviceName::refused()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, original);
    QVERIFY(!encodeDeviceName(name, original).has_value());
}

QTEST_GUILESS_MAIN(TestDeviceName)
#include "tst_devicename.moc"
