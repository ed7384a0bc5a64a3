#pragma once

#include <QString>

// From starting the window's program to its window mapped on a virtual X display, and to port 1500 bound;
// medians over several start-ups. CPU time is what all the program's threads had run when the window was mapped,
// which other work on the machine does not lengthen.
struct StartupTimes {
    int runs = 0;
    double mappedMs = 0;
    double boundMs = 0;
    double cpuAtMappedMs = 0;
    QString failure; // why there is no result
};

StartupTimes measureStartup(const QString &windowProgram, int runs);
