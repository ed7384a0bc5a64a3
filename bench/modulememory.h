#pragma once

#include <QString>
#include <QVector>

// What one more listed module costs in memory: the peak resident memory of a program that lists `modules`
// simulated modules, beside the same for `baselineModules`; the difference spread over the extra modules.
struct ModuleMemory {
    QString program;
    int modules = 0;
    int baselineModules = 0;
    qint64 peakKiB = 0;
    qint64 baselinePeakKiB = 0;
    QString failure; // why there is no result
    double bytesPerModule() const
    {
        return double(peakKiB - baselinePeakKiB) * 1024.0 / double(modules - baselineModules);
    }
};

// `kestrelctl search --json`, its output to /dev/null, searching until every module answered.
ModuleMemory measureSearchJsonMemory(int baselineModules, int modules);
