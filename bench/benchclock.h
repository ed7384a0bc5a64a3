#pragma once

#include <chrono>
#include <functional>
#include <vector>

using BenchClock = std::chrono::steady_clock;

double microsecondsBetween(BenchClock::time_point start, BenchClock::time_point end);

// Keeps the compiler from dropping work whose result nobody else reads.
void keepResult(unsigned long long value);

// The middle sample (the mean of the two middle ones for an even count); 0 for none.
double median(std::vector<double> samples);

// Times several kinds of call side by side, round after round, each kind in turn, so that a disturbance from
// elsewhere on the shared machine falls on all of them alike and their ratios hold. Calls too short to time alone
// are timed in rounds of as many calls as fill about a millisecond; a call gets its index, counting from 0.
class SideBySide
{
public:
    using Call = std::function<void(long index)>;

    // Returns the kind's number for medianMicroseconds.
    int add(Call call);
    void run(int rounds);
    // Median time of one call of that kind over the rounds.
    double medianMicroseconds(int kind) const;

private:
    struct Kind {
        Call call;
        long perRound = 1;
        long nextIndex = 0;
        std::vector<double> samples;
    };
    double timeRound(Kind &kind);

    std::vector<Kind> kinds;
};
