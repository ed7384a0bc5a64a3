<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>MainWindow</name>
    <message>
        <source>Parameters</source>
        <translation>参数设置</translation>
    </message>
    <message>
        <source>Static IP</source>
        <translation>静态IP</translation>
    </message>
    <message>
        <source>DHCP/Auto IP</source>
        <translation>DHCP/动态IP</translation>
    </message>
    <message>
        <source>Gateway</source>
        <translation>网关</translation>
    </message>
    <message>
        <source>Local Port</source>
        <translation>本地端口</translation>
    </message>
    <message>
        <source>Subnet Mask</source>
        <translation>子网掩码</translation>
    </message>
    <message>
        <source>Work mode</source>
        <translation>工作方式</translation>
    </message>
    <message>
        <source>Remote Port</source>
        <translation>目标端口</translation>
    </message>
    <message>
        <source>IP Type</source>
        <translation>IP地址类型</translation>
    </message>
    <message>
        <source>Parity/Data/Stop</source>
        <translation>校验/数据/停止</translation>
    </message>
    <message>
        <source>Baud Rate(bps)</source>
        <translation>串口波特率</translation>
    </message>
    <message>
        <source>Random</source>
        <translation>随机</translation>
    </message>
    <message>
        <source>UDP</source>
        <translation></translation>
    </message>
    <message>
        <source>Remote IP</source>
        <translation>目标IP</translation>
    </message>
    <message>
        <source>Modbus Convert</source>
        <translation>Modbus转换</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>Search List</source>
        <translation>搜索列表</translation>
    </message>
    <message>
        <source>Search Device</source>
        <translation>搜索设备</translation>
    </message>
    <message>
        <source>Device Restart</source>
        <translation>设备重启</translation>
    </message>
    <message>
        <source>Factory Reset</source>
        <translation>恢复出厂</translation>
    </message>
    <message>
        <source>Configure</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Kestrel_ConfigureTool_V1.1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TCP Client</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>UDP Server</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TCP Server</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>NONE</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ODD</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>EVEN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>7</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>8</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OFF</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Modbus TCP/RTU Conversion</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Device IP</source>
        <translation>设备IP</translation>
    </message>
    <message>
        <source>Device Name</source>
        <translation>设备名称</translation>
    </message>
    <message>
        <source>MAC</source>
        <translation>MAC地址</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>版本</translation>
    </message>
    <message>
        <source>设备IP</source>
        <translation></translation>
    </message>
    <message>
        <source>设备名称</source>
        <translation></translation>
    </message>
    <message>
        <source>MAC地址</source>
        <translation></translation>
    </message>
    <message>
        <source>版本</source>
        <translation></translation>
    </message>
</context>
</TS>
