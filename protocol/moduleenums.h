#pragma once

#include <QObject>

// The small settings of a module, each as the item index the form's combo box shows and the frames carry.
namespace Module {
Q_NAMESPACE

enum WorkMode { Udp = 0, TcpClient = 1, UdpServer = 2, TcpServer = 3 };
Q_ENUM_NS(WorkMode)

enum IpType { StaticIp = 0, Dhcp = 1 };
Q_ENUM_NS(IpType)

enum Parity { NoParity = 0, OddParity = 1, EvenParity = 2 };
Q_ENUM_NS(Parity)

enum DataBits { SevenDataBits = 0, EightDataBits = 1 };
Q_ENUM_NS(DataBits)

enum StopBits { OneStopBit = 0, TwoStopBits = 1 };
Q_ENUM_NS(StopBits)

enum ModbusConvert { ModbusOff = 0, ModbusOn = 1 };
Q_ENUM_NS(ModbusConvert)

} // namespace Module
