<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>MainWindow</name>
    <message>
        <source>Parameters</source>
        <translation></translation>
    </message>
    <message>
        <source>Static IP</source>
        <translation></translation>
    </message>
    <message>
        <source>DHCP/Auto IP</source>
        <translation></translation>
    </message>
    <message>
        <source>Gateway</source>
        <translation></translation>
    </message>
    <message>
        <source>Local Port</source>
        <translation></translation>
    </message>
    <message>
        <source>Subnet Mask</source>
        <translation></translation>
    </message>
    <message>
        <source>Work mode</source>
        <translation></translation>
    </message>
    <message>
        <source>Remote Port</source>
        <translation></translation>
    </message>
    <message>
        <source>IP Type</source>
        <translation></translation>
    </message>
    <message>
        <source>Parity/Data/Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Baud Rate(bps)</source>
        <translation></translation>
    </message>
    <message>
        <source>Random</source>
        <translation></translation>
    </message>
    <message>
        <source>UDP</source>
        <translation></translation>
    </message>
    <message>
        <source>Remote IP</source>
        <translation></translation>
    </message>
    <message>
        <source>Modbus Convert</source>
        <translation>Modbus Convert</translation>
    </message>
    <message>
        <source>English</source>
        <translation>中文</translation>
    </message>
    <message>
        <source>Search List</source>
        <translation></translation>
    </message>
    <message>
        <source>Search Device</source>
        <translation></translation>
    </message>
    <message>
        <source>Device Restart</source>
        <translation></translation>
    </message>
    <message>
        <source>Factory Reset</source>
        <translation></translation>
    </message>
    <message>
        <source>Configure</source>
        <translation></translation>
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
        <translation></translation>
    </message>
    <message>
        <source>Device Name</source>
        <translation></translation>
    </message>
    <message>
        <source>MAC</source>
        <translation></translation>
    </message>
    <message>
        <source>Version</source>
        <translation></translation>
    </message>
    <message>
        <source>设备IP</source>
        <translation>Device IP</translation>
    </message>
    <message>
        <source>设备名称</source>
        <translation>Device Name</translation>
    </message>
    <message>
        <source>MAC地址</source>
        <translation>MAC</translation>
    </message>
    <message>
        <source>版本</source>
        <translation>VERSION</translation>
    </message>
</context>
</TS>
