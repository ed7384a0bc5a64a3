#pragma once

#include <QNetworkInterface>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QtTest>

#include <cstdio>
#include <cstdlib>

// Tests that open sockets run only inside the namespaces made by
// scripts/netns-run.sh or scripts/netns-segments.sh: there the only interfaces
// are loopback and the scripts' own veth ends (kst0; kseg<k> in the tool's
// namespace, kpeer<k> on segment k), so a broadcast on port 1500 can never
// reach a real network.
inline bool insidePrivateNetwork(QString *why)
{
    if (QProcessEnvironment::systemEnvironment().value(QStringLiteral("KESTREL_NETNS")) != QLatin1String("inside")) {
        *why = QStringLiteral("not started through scripts/netns-run.sh or scripts/netns-segments.sh");
        return false;
    }
    static const QRegularExpression scriptsInterface(QStringLiteral("^(kst0|kseg[1-9][0-9]*|kpeer[1-9][0-9]*)$"));
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const bool loopback = interface.flags().testFlag(QNetworkInterface::IsLoopBack);
        const bool ours = scriptsInterface.match(interface.name()).hasMatch();
        if (!loopback && !ours) {
            *why = QStringLiteral("interface %1 could reach a real network").arg(interface.name());
            return false;
        }
    }
    return true;
}

inline void requirePrivateNetwork()
{
    QString why;
    if (!insidePrivateNetwork(&why)) {
        std::fprintf(stderr, "Refusing to run: this test broadcasts on UDP port 1500 (%s).\n"
                             "Run it as: scripts/netns-run.sh <test binary>\n",
                     qPrintable(why));
        std::exit(1);
    }
}

// These tests wait for datagrams and programs on a shared, busy machine: a wait for a condition gets a bound that
// only a hang reaches (Qt's default is 5 seconds). A condition that holds ends the wait at once.
constexpr int KestrelWaitBoundMs = 120000;
#undef QTRY_VERIFY
#define QTRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT((expr), KestrelWaitBoundMs)
#undef QTRY_VERIFY2
#define QTRY_VERIFY2(expr, messageExpression) QTRY_VERIFY2_WITH_TIMEOUT((expr), (messageExpression), KestrelWaitBoundMs)
#undef QTRY_COMPARE
#define QTRY_COMPARE(expr, expected) QTRY_COMPARE_WITH_TIMEOUT((expr), (expected), KestrelWaitBoundMs)

// QTEST_MAIN / QTEST_GUILESS_MAIN that first make sure no real network is in reach.
#define KESTREL_NETWORK_TEST_MAIN(TestObject, AppClass)                                                                \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        requirePrivateNetwork();                                                                                       \
        AppClass app(argc, argv);                                                                                      \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
