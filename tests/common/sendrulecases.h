#pragma once

#include "configframe.h"
#include "moduleenums.h"

#include <QtTest>

// One table of typed values and whether they may be sent, run against the window (its validators and "Configure")
// and against the rule kestrelctl and the frame builder apply, so that the two cannot drift apart. Each row edits
// one field of a module that reported valid values in the given mode; "random" ticks "Random" as well.
inline void addSendRuleColumns()
{
    QTest::addColumn<int>("field"); // ConfigField
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("random");
    QTest::addColumn<int>("mode"); // Module::WorkMode
    QTest::addColumn<bool>("accepted");
}

inline void addSendRuleRows()
{
    const auto row = [](const char *name, ConfigField field, const QString &text, bool random, int mode,
                        bool accepted) { QTest::newRow(name) << int(field) << text << random << mode << accepted; };
    using F = ConfigField;
    const int udp = Module::Udp;
    const int client = Module::TcpClient;
    const int server = Module::TcpServer;
    // clang-format off
    row("local IP",                          F::LocalIp,    QStringLiteral("192.168.1.20"),    false, udp,    true);
    row("local IP, leading zeros",           F::LocalIp,    QStringLiteral("001.002.003.004"), false, udp,    true);
    row("local IP with three parts",         F::LocalIp,    QStringLiteral("192.168.1"),       false, udp,    false);
    row("local IP with an octet over 255",   F::LocalIp,    QStringLiteral("256.1.1.1"),       false, udp,    false);
    row("subnet mask ending in a dot",       F::SubnetMask, QStringLiteral("255.255.255."),    false, udp,    false);
    row("empty gateway",                     F::Gateway,    QString(),                         false, udp,    false);
    row("Arabic-Indic digits in an address", F::Gateway,    QStringLiteral("١٩٢.١٦٨.١.١"),     false, udp,    false);
    row("remote IP with two parts",          F::RemoteIp,   QStringLiteral("10.1"),            false, udp,    false);
    row("remote IP 0.0.0.0",                 F::RemoteIp,   QStringLiteral("0.0.0.0"),         false, udp,    true);
    row("remote port 0",                     F::RemotePort, QStringLiteral("0"),               false, udp,    false);
    row("remote port 00000",                 F::RemotePort, QStringLiteral("00000"),           false, udp,    false);
    row("remote port 65535",                 F::RemotePort, QStringLiteral("65535"),           false, udp,    true);
    row("remote port 65536",                 F::RemotePort, QStringLiteral("65536"),           false, udp,    false);
    row("remote port with leading zero",     F::RemotePort, QStringLiteral("0502"),            false, udp,    true);
    row("a signed port",                     F::RemotePort, QStringLiteral("+80"),             false, udp,    false);
    row("full-width digits",                 F::RemotePort, QStringLiteral("１２３４"),         false, udp,    false);
    row("remote port of a TCP server",       F::RemotePort, QStringLiteral("502"),             false, server, true);
    row("remote port 0 typed for a server",  F::RemotePort, QStringLiteral("0"),               false, server, false);
    row("baud rate below 100",               F::BaudRate,   QStringLiteral("99"),              false, udp,    false);
    row("baud rate 100",                     F::BaudRate,   QStringLiteral("100"),             false, udp,    true);
    row("baud rate 2000000",                 F::BaudRate,   QStringLiteral("2000000"),         false, udp,    true);
    row("baud rate 2000001",                 F::BaudRate,   QStringLiteral("2000001"),         false, udp,    false);
    row("a grouped baud rate",               F::BaudRate,   QStringLiteral("9,600"),           false, udp,    false);
    row("baud rate with a newline",          F::BaudRate,   QStringLiteral("9600\n"),          false, udp,    false);
    row("empty baud rate",                   F::BaudRate,   QString(),                         false, udp,    false);
    row("local port 8000",                   F::LocalPort,  QStringLiteral("8000"),            false, udp,    true);
    row("empty local port",                  F::LocalPort,  QString(),                         false, udp,    false);
    row("local port 0 without Random",       F::LocalPort,  QStringLiteral("0"),               false, client, false);
    row("Random, TCP Client",                F::LocalPort,  QStringLiteral("0"),               true,  client, true);
    row("Random as 00",                      F::LocalPort,  QStringLiteral("00"),              true,  client, false);
    row("Random in UDP",                     F::LocalPort,  QStringLiteral("0"),               true,  udp,    false);
    row("Random for a TCP server",           F::LocalPort,  QStringLiteral("0"),               true,  server, false);
    // clang-format on
}
