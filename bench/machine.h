#pragma once

#include <QString>

// Where a run was measured.
struct Machine {
    QString cpu; // model name from /proc/cpuinfo
    int cores = 0; // logical processors
    QString kernel;
    QString qt;
    QString openssl;
    QString loadAverage; // over the last minute: other work on the machine shows in every time
};

Machine describeMachine();
