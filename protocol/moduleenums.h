#pragma once

#include <QObject>

// The small settings of a module, each as the item index the form's combo box shows and the frames carry. Based
// on int, so that any index a combo box reports (-1 while it is emptied) is a value of its enum.
namespace Module {
Q_NAMESPACE

enum WorkMode : int { Udp = 0, TcpClient = 1, UdpServer = 2, TcpServer = 3 };
Q_ENUM_NS(WorkMode)

enum IpType : int { StaticIp = 0, Dhcp = 1 };
Q_ENUM_NS(IpType)

enum Parity : int { NoParity = 0, OddParity = 1, EvenParity = 2 };
Q_ENUM_NS(Parity)

enum DataBits : int { SevenDataBits = 0, EightDataBits = 1 };
Q_ENUM_NS(DataBits)

enum StopBits : int { OneStopBit = 0, TwoStopBits = 1 };
Q_ENUM_NS(StopBits)

enum ModbusConvert : int { ModbusOff = 0, ModbusOn = 1 };
Q_ENUM_NS(ModbusConvert)

} // namespace Module
