#pragma once

#include "burst.h"
#include "framecosts.h"
#include "machine.h"
#include "modulememory.h"
#include "provisionbench.h"
#include "readercost.h"
#include "receivebench.h"
#include "startup.h"

#include <QString>
#include <QVector>

struct BenchResults {
    Machine machine;
    FrameCosts frames;
    QVector<ReceiveCosts> receive;
    ReaderCosts reader;
    StartupTimes startup;
    QVector<BurstResult> bursts;
    QVector<ProvisionResult> provisions;
    QVector<ModuleMemory> memory; // of kestrelctl; the window's comes from its bursts
    bool memoryOnly = false; // only the bursts from kestrel-sim and the memory per module were measured
};

// The run as one Markdown table, with the machine above it, ready for the README.
QString benchTable(const BenchResults &results);
