#include "regularfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

// What the programs read and write through the system: only regular files are read, a device is never replaced by
// a file, and nothing that is refused is read or changed. The same rows run on Linux and, built for Windows, under
// wine; a device is /dev/null on the one and NUL on the other.
class TestRegularFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void readsOnlyRegularFiles_data();
    void readsOnlyRegularFiles();
    void writesWithoutReplacingWhatIsNoFile_data();
    void writesWithoutReplacingWhatIsNoFile();

private:
    // "@file" a regular file holding "old content", "@dir" a directory, "@fifo" a FIFO, "@absent" nothing; any
    // other text is a path as it stands.
    QString prepare(const QString &what);

    QScopedPointer<QTemporaryDir> dir;
};

namespace {

#ifdef Q_OS_WIN
const QString Device = QStringLiteral("NUL");
const QString DeviceKind = QStringLiteral("is a device; a regular file is needed");
#else
const QString Device = QStringLiteral("/dev/null");
const QString DeviceKind = QStringLiteral("is a character device; a regular file is needed");
#endif

const QByteArray OldContent("old content");

} // namespace

void TestRegularFile::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
}

QString TestRegularFile::prepare(const QString &what)
{
    if (!what.startsWith(QLatin1Char('@')))
        return what;
    const QString path = dir->filePath(QStringLiteral("target"));
    if (what == QLatin1String("@file")) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(OldContent) != OldContent.size())
            return QString();
    } else if (what == QLatin1String("@dir")) {
        if (!QDir().mkdir(path))
            return QString();
#ifdef Q_OS_UNIX
    } else if (what == QLatin1String("@fifo")) {
        if (::mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
            return QString();
#endif
    }
    return path;
}

void TestRegularFile::readsOnlyRegularFiles_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<bool>("mayBeWritten"); // isAbsentOrRegularFile
    QTest::addColumn<QString>("problem"); // empty: read

    QTest::newRow("a regular file") << "@file" << qint64(100) << true << QString();
    QTest::newRow("a regular file of just the limit") << "@file" << qint64(OldContent.size()) << true << QString();
    QTest::newRow("one byte over the limit")
        << "@file" << qint64(OldContent.size() - 1) << true
        << QStringLiteral("is larger than %1 bytes").arg(OldContent.size() - 1);
    QTest::newRow("a directory") << "@dir" << qint64(100) << false
                                 << "is a directory; a regular file is needed";
    QTest::newRow("a device") << Device << qint64(100) << false << DeviceKind;
#ifdef Q_OS_UNIX
    // Opening a FIFO to read waits for a writer: the program would hang.
    QTest::newRow("a FIFO") << "@fifo" << qint64(100) << false << "is a FIFO; a regular file is needed";
#endif
    QTest::newRow("nothing") << "@absent" << qint64(100) << true << "target";
}

void TestRegularFile::readsOnlyRegularFiles()
{
    QFETCH(QString, target);
    QFETCH(qint64, maxBytes);
    QFETCH(bool, mayBeWritten);
    QFETCH(QString, problem);
    const QString path = prepare(target);
    QVERIFY(!path.isEmpty());

    QByteArray content("untouched");
    QString error;
    const bool read = readRegularFile(path, maxBytes, &content, &error);
    QCOMPARE(read, problem.isEmpty());
    if (read) {
        QCOMPARE(content, OldContent);
    } else {
        QVERIFY2(error.contains(problem), qPrintable(error));
        QVERIFY2(error.contains(path), qPrintable(error)); // the message names the file
    }

    QString mayNotBeWritten;
    QCOMPARE(isAbsentOrRegularFile(path, &mayNotBeWritten), mayBeWritten);
    if (!mayBeWritten)
        QVERIFY2(mayNotBeWritten.contains(problem), qPrintable(mayNotBeWritten));
}

void TestRegularFile::writesWithoutReplacingWhatIsNoFile_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("problem"); // empty: written

    QTest::newRow("nothing yet") << "@absent" << QString();
    QTest::newRow("a regular file, replaced") << "@file" << QString();
    QTest::newRow("a directory, refused") << "@dir" << "is a directory; a regular file is needed";
    // Written in place, as a shell's redirection writes it: the device stays a device.
    QTest::newRow("a device") << Device << QString();
}

void TestRegularFile::writesWithoutReplacingWhatIsNoFile()
{
    QFETCH(QString, target);
    QFETCH(QString, problem);
    const QString path = prepare(target);
    QVERIFY(!path.isEmpty());
    const bool isDevice = target == Device;
    const QByteArray content("new content\n");

    QString error;
    const bool written = writeOutputFile(path, content, &error);
    QVERIFY2(written == problem.isEmpty(), qPrintable(error));
    if (!written)
        QVERIFY2(error.contains(problem) && error.contains(path), qPrintable(error));

    if (target == QLatin1String("@dir")) {
        QVERIFY(QFileInfo(path).isDir());
    } else if (isDevice) {
#ifdef Q_OS_UNIX
        struct stat info = {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QVERIFY(S_ISCHR(info.st_mode));
#endif
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    }
    // The target alone, no temporary file left beside it.
    const QStringList left = QDir(dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    QCOMPARE(left, isDevice ? QStringList() : QStringList {QStringLiteral("target")});
}

QTEST_GUILESS_MAIN(TestRegularFile)
#include "tst_regularfile.moc"
