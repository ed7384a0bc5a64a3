#include "jsontext.h"

#include <QJsonObject>
#include <QtTest>

// The JSON text of the files the programs read: a key given twice in one object is refused, naming the key and
// where it stands, however it is written; what QJsonDocument takes otherwise is taken as it reads it.
class TestJsonText : public QObject
{
    Q_OBJECT

private slots:
    void keysGivenTwiceAreRefused_data();
    void keysGivenTwiceAreRefused();
};

void TestJsonText::keysGivenTwiceAreRefused_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error"); // empty: read

    // clang-format off
    QTest::newRow("two keys") << QByteArray(R"({"mode": "udp", "baud": 9600})") << QString();
    QTest::newRow("the last would win") << QByteArray(R"({"mode":"bogus","mode":"tcp-server"})")
                                        << R"(duplicate key "mode" at offset 16)";
    QTest::newRow("written with an escape") << QByteArray(R"({"mode": 1, "mo\u0064e": 2})")
                                            << R"(duplicate key "mode" at offset 12)";
    QTest::newRow("a key that is a control character")
        << QByteArray(R"({"\u001b": 1, "\u001B": 2})") << QStringLiteral("duplicate key \"\x1b\" at offset 14");
    QTest::newRow("a key beyond the basic plane") << QByteArray("{\"\xF0\x9F\x98\x80\": 1, \"\\ud83d\\ude00\": 2}")
                                                 << QStringLiteral("duplicate key \"\U0001F600\" at offset 12");
    QTest::newRow("escaped quotes in keys and values") << QByteArray(R"({"a\"b": "x\"", "a\\b": "\\", "a\"b": 0})")
                                                       << R"(duplicate key "a"b" at offset 30)";
    QTest::newRow("a value like the key") << QByteArray(R"({"mode": "mode", "x": ["mode", "mode"]})") << QString();
    QTest::newRow("the same key in two objects")
        << QByteArray(R"({"modules": [{"mac": "1", "mode": "udp"}, {"mac": "2", "mode": "udp"}]})") << QString();
    QTest::newRow("in the second of a list")
        << QByteArray(R"({"modules": [{"mac": "1"}, {"mac": "2", "mac": "3"}]})")
        << R"(duplicate key "mac" at offset 40)";
    QTest::newRow("a key in an object within")
        << QByteArray(R"({"a": {"b": {}, "c": [1, {"d": 1}], "b": 2}})") << R"(duplicate key "b" at offset 36)";
    QTest::newRow("the outer object after an inner one") << QByteArray(R"({"a": {"b": 1}, "b": 2, "a": 3})")
                                                          << R"(duplicate key "a" at offset 24)";
    // What QJsonDocument refuses, in its words.
    QJsonParseError parseError;
    QJsonDocument::fromJson(R"({"a": )", &parseError);
    QTest::newRow("not JSON") << QByteArray(R"({"a": )") << parseError.errorString() + " at offset 6";
    // clang-format on
}

void TestJsonText::keysGivenTwiceAreRefused()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, error);

    QJsonDocument document;
    QString message;
    QCOMPARE(parseJsonText(text, &document, &message), error.isEmpty());
    QCOMPARE(message, error);
    if (error.isEmpty())
        QCOMPARE(document, QJsonDocument::fromJson(text));
    else
        QVERIFY(document.isNull());
}

QTEST_GUILESS_MAIN(TestJsonText)
#include "tst_jsontext.moc"
