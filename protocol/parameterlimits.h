#pragma once

// The ranges the form's fields accept, and so what a configuration frame may carry. The form's validators and the
// frame builder's check (findInvalidConfigField) both take them from here. Local port 0 means "Random" and is
// accepted only while that box is ticked.
constexpr int PortBottom = 1;
constexpr int PortTop = 65535;
constexpr int BaudBottom = 100;
constexpr int BaudTop = 2000000;

// The largest baud rate the frames can carry (24 bits): a module may report any of them.
constexpr int BaudWireTop = 0xFFFFFF;
