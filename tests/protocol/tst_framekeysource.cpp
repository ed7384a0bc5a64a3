#include "framecipher.h"
#include "framekey.h"
#include "framekeysource.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

// Where the frame key comes from: the command line, then KESTREL_FRAME_KEY, then "frameKey" in the settings
// file, then the key built into the program; a text that is not 32 hexadecimal digits is never a key.
class TestFrameKeySource : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void firstSourceGivenWins_data();
    void firstSourceGivenWins();
    void unusableSettingsFileIsRefusedNamingIt_data();
    void unusableSettingsFileIsRefusedNamingIt();
    void installedKeyOrReason_data();
    void installedKeyOrReason();

private:
    QTemporaryDir settingsDir;
};

namespace {

const QString KeyA = QStringLiteral("000102030405060708090a0b0c0d0e0f");
const QString KeyB = QStringLiteral("F0E1D2C3B4A5968778695A4B3C2D1E0F");
const QString KeyC = QStringLiteral("00112233445566778899AABBCCDDEEFF");

QByteArray bytes(const QString &hex)
{
    return QByteArray::fromHex(hex.trimmed().toLatin1());
}

} // namespace

void TestFrameKeySource::initTestCase()
{
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
}

void TestFrameKeySource::cleanup()
{
    qunsetenv(FrameKeyVariable);
    QFile::remove(settingsFilePath()); // a FIFO too
    QDir().rmdir(settingsFilePath());
}

void TestFrameKeySource::firstSourceGivenWins_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<int>("source");
    QTest::addColumn<QByteArray>("key"); // empty: refused

    const QByteArray builtIn(reinterpret_cast<const char *>(BuiltInFrameKey), 16);
    const int commandLine = int(FrameKeySource::CommandLine);
    const int environment = int(FrameKeySource::Environment);
    const int settings = int(FrameKeySource::SettingsFile);
    const int built = int(FrameKeySource::BuiltIn);

    // clang-format off
    QTest::newRow("nothing given") << "" << "" << "" << built << builtIn;
    QTest::newRow("settings over built-in") << "" << "" << KeyB << settings << bytes(KeyB);
    QTest::newRow("environment over settings") << "" << KeyA << KeyB << environment << bytes(KeyA);
    QTest::newRow("command line over all") << KeyC << KeyA << KeyB << commandLine << bytes(KeyC);
    // Exactly the digits, as every other value.
    QTest::newRow("blanks around the digits") << "" << "  " + KeyC << "" << environment << QByteArray();
    QTest::newRow("a line end after the digits") << KeyC + "\n" << "" << "" << commandLine << QByteArray();
    QTest::newRow("bad command line") << KeyA.left(31) << KeyA << "" << commandLine << QByteArray();
    QTest::newRow("bad environment, good setting") << "" << KeyA + "0" << KeyB << environment << QByteArray();
    QTest::newRow("bad setting") << "" << "" << QString(KeyB).replace(3, 1, "g") << settings << QByteArray();
    QTest::newRow("prefixed hex") << "" << "0x" + KeyA.left(30) << "" << environment << QByteArray();
    QTest::newRow("digits split by blanks") << "" << "00010203 0405060708090a0b0c0d0e0f" << "" << environment << QByteArray();
    // clang-format on
}

void TestFrameKeySource::firstSourceGivenWins()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, environment);
    QFETCH(QString, setting);
    QFETCH(int, source);
    QFETCH(QByteArray, key);

    if (!environment.isEmpty())
        qputenv(FrameKeyVariable, environment.toUtf8());
    if (!setting.isEmpty()) {
        QSettings file(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kestrel"),
                       QStringLiteral("kestrel"));
        file.setValue(QLatin1String(FrameKeySetting), setting);
    }

    const FrameKeyChoice chosen = chooseFrameKey(commandLine);
    QCOMPARE(int(chosen.source), source);
    QCOMPARE(chosen.isValid(), !key.isEmpty());
    QCOMPARE(chosen.key.toHex(), key.toHex());
    if (chosen.source == FrameKeySource::SettingsFile)
        QVERIFY2(chosen.origin.startsWith(settingsDir.path()), qPrintable(chosen.origin));
    if (chosen.source == FrameKeySource::Environment)
        QCOMPARE(chosen.origin, QStringLiteral("KESTREL_FRAME_KEY"));
}

// A settings file the user wrote a key into but that cannot give one is never passed over for the built-in key.
void TestFrameKeySource::unusableSettingsFileIsRefusedNamingIt_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: a folder stands where the file should be; "<fifo>": a FIFO
    QTest::addColumn<QString>("problem");

    const QByteArray ini = "[General]\nframeKey=" + KeyB.toLatin1() + "\n";
    QByteArray utf16("\xFF\xFE", 2);
    for (const char c : ini)
        utf16 += QByteArray(1, c) + QByteArray(1, '\0');
    QTest::newRow("a folder") << QByteArray() << "cannot be read";
    QTest::newRow("a list") << QByteArray("[General]\nframeKey=F0E1D2C3B4A59687,78695A4B3C2D1E0F\n") << "a list";
    QTest::newRow("@Invalid()") << QByteArray("[General]\nframeKey=@Invalid()\n") << "@Invalid()";
    QTest::newRow("UTF-16") << utf16 << "not UTF-8";
    QTest::newRow("UTF-16 without a byte-order mark") << utf16.mid(2) << "not UTF-8";
    QTest::newRow("bad hexadecimal") << QByteArray("[General]\nframeKey=0x1234\n") << "32 hexadecimal digits";
#ifdef Q_OS_UNIX
    // Opening a FIFO to read waits for a writer: every program would hang at start.
    QTest::newRow("a FIFO") << QByteArray("<fifo>") << "is a FIFO; a regular file is needed";
#endif
    QTest::newRow("larger than a settings file can be")
        << "[General]\nframeKey=" + KeyB.toLatin1() + "\n; " + QByteArray(1024 * 1024, 'x') + "\n"
        << "is larger than 1048576 bytes";
    // Keys are told apart by case: a key written another way is not the key, and would be passed over unsaid.
    QTest::newRow("the key in lower case") << QByteArray("[General]\nframekey=" + KeyB.toLatin1() + "\n")
                                           << "holds the unknown key \"framekey\"; the key is \"frameKey\"";
    QTest::newRow("an unknown key beside the key")
        << QByteArray("[General]\nframeKey=" + KeyB.toLatin1() + "\nframeKeys=" + KeyA.toLatin1() + "\n")
        << "holds the unknown key \"frameKeys\"";
}

void TestFrameKeySource::unusableSettingsFileIsRefusedNamingIt()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, problem);
    const QString path = settingsFilePath();
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    if (content.isEmpty()) {
        QVERIFY(QDir().mkdir(path));
#ifdef Q_OS_UNIX
    } else if (content == "<fifo>") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#endif
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

#ifdef Q_OS_UNIX
    ::alarm(30); // a program that waits on the file is ended, not left to the test's time limit
#endif
    const FrameKeyChoice chosen = chooseFrameKey();
#ifdef Q_OS_UNIX
    ::alarm(0);
#endif
    QCOMPARE(int(chosen.source), int(FrameKeySource::SettingsFile));
    QVERIFY(!chosen.isValid());
    QCOMPARE(chosen.origin, path);
    QVERIFY2(chosen.problem.contains(problem), qPrintable(chosen.problem));
    QVERIFY2(describeFrameKeySource(chosen).contains(path), qPrintable(describeFrameKeySource(chosen)));

    // The environment still comes first.
    qputenv(FrameKeyVariable, KeyA.toLatin1());
    QCOMPARE(chooseFrameKey().key.toHex(), bytes(KeyA).toHex());
}

void TestFrameKeySource::installedKeyOrReason_data()
{
    QTest::addColumn<bool>("optionGiven");
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QString>("reason"); // empty: installed

    // clang-format off
    QTest::newRow("--key") << true << KeyA << KeyB << QString();
    QTest::newRow("environment") << false << "" << KeyA << QString();
    QTest::newRow("--key given empty") << true << "" << KeyA << "--key needs 32 hexadecimal digits";
    QTest::newRow("--key not a key") << true << KeyA.left(31) << KeyA
                                     << "the frame key from --key is not 32 hexadecimal digits";
    QTest::newRow("environment not a key") << false << "" << KeyA + "0"
        << "the frame key from the environment variable KESTREL_FRAME_KEY is not 32 hexadecimal digits";
    // clang-format on
}

// A key that can be used is what the frames are encrypted with from then on; one that cannot leaves the key in
// place and says why. KeyA is the key of FIPS-197 Appendix C.1, whose known answer a one-block frame gives.
void TestFrameKeySource::installedKeyOrReason()
{
    QFETCH(bool, optionGiven);
    QFETCH(QString, option);
    QFETCH(QString, environment);
    QFETCH(QString, reason);

    const QByteArray before(16, '\xA5');
    setFrameKey(reinterpret_cast<const quint8 *>(before.constData()));
    if (!environment.isEmpty())
        qputenv(FrameKeyVariable, environment.toUtf8());

    QString error;
    const bool installed
        = installChosenFrameKey(optionGiven ? std::optional<QString>(option) : std::nullopt, nullptr, &error);
    QCOMPARE(installed, reason.isEmpty());
    QCOMPARE(error, reason);

    QByteArray block = QByteArray::fromHex("00112233445566778899AABBCCDDEEFF");
    encryptFrame(reinterpret_cast<quint8 *>(block.data()), 16);
    const bool fipsAnswer = block.toHex().toUpper() == "69C4E0D86A7B0430D8CDB78070B4C55A";
    QCOMPARE(fipsAnswer, installed);
}

QTEST_GUILESS_MAIN(TestFrameKeySource)
#include "tst_framekeysource.moc"
