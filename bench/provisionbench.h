#pragma once

#include <QString>

// kestrelctl provision commissioning factory-fresh simulated modules from an address range, as an engineer runs it.
struct ProvisionResult {
    int modules = 0;
    int confirmed = 0; // modules the report says confirmed
    int searchRequests = 0; // discovery requests the modules heard: the search with its rounds, and the read-back
    int configured = 0; // configuration frames the modules took
    double seconds = 0; // from starting kestrelctl to its end, right after the last confirmation
    qint64 peakRssKiB = 0; // of kestrelctl, as last seen while it ran (read every 20 ms)
    QString failure; // why there is no result
};

// Runs kestrel-sim with that many modules and kestrelctl provision --ip-range against them, once.
ProvisionResult runProvision(int modules);
