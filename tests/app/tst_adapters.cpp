#include "childprocess.h"
#include "mainwindow.h"
#include "messageboxcloser.h"
#include "privatenetwork.h"
#include "segmentsentinel.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

// The window on a machine with one adapter per segment (scripts/netns-segments.sh), a simulated module pair
// behind each: one press finds the modules of every segment, each segment hears the request once, and a module
// behind any adapter can be configured, also when the machine has no default route.
class TestAdapters : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void onePressFindsEverySegment();
    void moduleOnTheLastSegmentIsConfigured();

private:
    struct Segment {
        std::unique_ptr<ChildProcess> simulator;
        QByteArray output;
        QString statePath;
        QString firstMac;
    };
    // Everything the segment's simulator printed so far.
    QByteArray &outputOf(Segment &segment);
    // Returns once the segment's simulator has handled everything that reached it so far.
    void waitUntilHandled(int segmentNumber);
    QJsonObject stateOf(const Segment &segment, const QString &mac) const;

    QTemporaryDir stateDir;
    std::vector<Segment> segments;
};

namespace {

constexpr int ModulesPerSegment = 2;

int segmentCount()
{
    return qEnvironmentVariableIntValue("KESTREL_SEGMENTS");
}

} // namespace

void TestAdapters::initTestCase()
{
    QVERIFY2(segmentCount() > 0, "run through scripts/netns-segments.sh");
    if (qEnvironmentVariableIsSet("KESTREL_EXPECT_NO_DEFAULT_ROUTE")) {
        QProcess routes;
        routes.start(QStringLiteral("ip"), {"route", "show", "default"});
        QVERIFY(routes.waitForFinished());
        QCOMPARE(routes.readAllStandardOutput().trimmed(), QByteArray());
    }
    QVERIFY(stateDir.isValid());
    for (int k = 1; k <= segmentCount(); ++k) {
        Segment segment;
        segment.firstMac = QStringLiteral("0200AA%1%2").arg(k, 2, 10, QLatin1Char('0')).arg(QStringLiteral("0001"));
        segment.statePath = stateDir.filePath(QStringLiteral("segment%1.json").arg(k));
        segment.simulator = std::make_unique<ChildProcess>();
        segment.simulator->setProcessChannelMode(QProcess::MergedChannels);
        segment.simulator->start(QStringLiteral(KESTREL_SOURCE_DIR "/scripts/segment-exec.sh"),
                                 {QString::number(k), QStringLiteral(KESTREL_SIM_PATH), "--count",
                                  QString::number(ModulesPerSegment), "--mac", segment.firstMac, "--name-prefix",
                                  QStringLiteral("S%1-").arg(k), "--state", segment.statePath});
        QVERIFY(segment.simulator->waitForStarted());
        segments.push_back(std::move(segment));
        QVERIFY2(segments.back().simulator->waitForOutput(segments.back().output, "listening"),
                 segments.back().output.constData());
    }
}

void TestAdapters::cleanupTestCase()
{
    for (Segment &segment : segments) {
        segment.simulator->terminate();
        segment.simulator->waitForFinished(5000);
    }
}

QByteArray &TestAdapters::outputOf(Segment &segment)
{
    segment.output += segment.simulator->readAll();
    return segment.output;
}

void TestAdapters::waitUntilHandled(int segmentNumber)
{
    const QByteArray echo = sendSegmentSentinel(segmentNumber);
    QVERIFY(!echo.isEmpty());
    Segment &segment = segments.at(size_t(segmentNumber - 1));
    // A simulator that ended is not waited for.
    QTRY_VERIFY2_WITH_TIMEOUT(outputOf(segment).contains(echo) || segment.simulator->state() == QProcess::NotRunning,
                              segment.output.constData(), 60000);
    QVERIFY2(outputOf(segment).contains(echo), segment.output.constData());
}

QJsonObject TestAdapters::stateOf(const Segment &segment, const QString &mac) const
{
    QFile file(segment.statePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonArray modules = QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("modules")).toArray();
    for (const QJsonValue &module : modules) {
        if (module.toObject().value(QLatin1String("mac")).toString() == mac)
            return module.toObject();
    }
    return {};
}

void TestAdapters::onePressFindsEverySegment()
{
    MainWindow window;
    window.on_pushButton_SearchDevice_clicked();
    const int expected = ModulesPerSegment * segmentCount();
    QTRY_COMPARE_WITH_TIMEOUT(window.deviceList.size(), expected, 60000);

    for (int k = 1; k <= segmentCount(); ++k) {
        Segment &segment = segments.at(size_t(k - 1));
        waitUntilHandled(k); // a second request, had one left, would have reached the modules before this
        QCOMPARE(outputOf(segment).count("search from"), 1);
        const int adapter = QNetworkInterface::interfaceIndexFromName(QStringLiteral("kseg%1").arg(k));
        QVERIFY(adapter > 0);
        int listed = 0;
        for (const DeviceRecord &module : qAsConst(window.deviceList)) {
            if (!module.deviceName.startsWith(QStringLiteral("S%1-").arg(k)))
                continue;
            ++listed;
            QCOMPARE(module.sourceIp, QStringLiteral("10.231.%1.2").arg(k));
            QCOMPARE(module.interfaceIndex, adapter);
        }
        QCOMPARE(listed, ModulesPerSegment);
    }
}

void TestAdapters::moduleOnTheLastSegmentIsConfigured()
{
    Segment &last = segments.back();
    QList<QJsonObject> before;
    for (const Segment &segment : segments)
        before.append(stateOf(segment, segment.firstMac));
    QCOMPARE(before.last().value(QLatin1String("baud")).toInt(), 9600);

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    MessageBoxCloser boxes;
    window.on_pushButton_SearchDevice_clicked();
    QTRY_COMPARE_WITH_TIMEOUT(window.deviceList.size(), ModulesPerSegment * segmentCount(), 60000);
    int row = 0;
    for (int i = 0; i < window.deviceList.size(); ++i) {
        if (window.deviceList.at(i).macAddress == last.firstMac)
            row = i + 1;
    }
    QVERIFY(row > 0);
    QTableWidget *table = window.ui->tableWidget_DeviceList;
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(row, 1)).center());
    QCOMPARE(window.currentDevice.macAddress, last.firstMac);
    window.ui->lineEdit_Baud->setText(QStringLiteral("57600"));
    QTest::mouseClick(window.ui->pushButton_SaveConfigure, Qt::LeftButton);

    QTRY_COMPARE_WITH_TIMEOUT(stateOf(last, last.firstMac).value(QLatin1String("baud")).toInt(), 57600, 60000);
    QVERIFY(boxes.seen.isEmpty());
    // The frame went through the module's own adapter only: the other segments never heard it.
    for (int k = 1; k < segmentCount(); ++k) {
        waitUntilHandled(k);
        Segment &segment = segments.at(size_t(k - 1));
        QVERIFY2(!outputOf(segment).contains("configuration frame"), segment.output.constData());
        QCOMPARE(stateOf(segment, segment.firstMac), before.at(k - 1));
    }
}

KESTREL_NETWORK_TEST_MAIN(TestAdapters, QApplication)
#include "tst_adapters.moc"
