#pragma once

#include <QNetworkInterface>
#include <QProcessEnvironment>
#include <QtTest>

#include <cstdio>
#include <cstdlib>

// Tests that open sockets run only inside the namespace made by
// scripts/netns-run.sh: there the only interfaces are loopback and our own
// veth pair, so a broadcast on port 1500 can never reach a real network.
inline bool insidePrivateNetwork(QString *why)
{
    if (QProcessEnvironment::systemEnvironment().value(QStringLiteral("KESTREL_NETNS")) != QLatin1String("inside")) {
        *why = QStringLiteral("not started through scripts/netns-run.sh");
        return false;
    }
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const bool loopback = interface.flags().testFlag(QNetworkInterface::IsLoopBack);
        const bool ours = interface.name() == QLatin1String("kst0") || interface.name() == QLatin1String("kst1");
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
