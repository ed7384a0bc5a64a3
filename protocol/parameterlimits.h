#pragma once

// The ranges the form's fields accept, and so what a configuration frame may carry.
constexpr int PortBottom = 1;
constexpr int PortTop = 65535;
constexpr int BaudBottom = 100;
constexpr int BaudTop = 2000000;
