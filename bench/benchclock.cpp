#include "benchclock.h"

#include <algorithm>

namespace {

constexpr double RoundMicroseconds = 1000;
constexpr long MaxCallsPerRound = 1L << 20;

volatile unsigned long long keptResult = 0;

} // namespace

void keepResult(unsigned long long value)
{
    keptResult = keptResult + value;
}

double microsecondsBetween(BenchClock::time_point start, BenchClock::time_point end)
{
    return std::chrono::duration<double, std::micro>(end - start).count();
}

double median(std::vector<double> samples)
{
    if (samples.empty())
        return 0;
    const size_t middle = samples.size() / 2;
    std::nth_element(samples.begin(), samples.begin() + long(middle), samples.end());
    const double upper = samples[middle];
    if (samples.size() % 2 == 1)
        return upper;
    const double lower = *std::max_element(samples.begin(), samples.begin() + long(middle));
    return (lower + upper) / 2;
}

int SideBySide::add(Call call)
{
    kinds.push_back({std::move(call), 1, 0, {}});
    return int(kinds.size()) - 1;
}

double SideBySide::timeRound(Kind &kind)
{
    const auto start = BenchClock::now();
    for (long i = 0; i < kind.perRound; ++i)
        kind.call(kind.nextIndex++);
    return microsecondsBetween(start, BenchClock::now());
}

void SideBySide::run(int rounds)
{
    for (Kind &kind : kinds) {
        while (kind.perRound < MaxCallsPerRound && timeRound(kind) < RoundMicroseconds)
            kind.perRound *= 2;
    }
    for (int round = 0; round < rounds; ++round) {
        for (Kind &kind : kinds)
            kind.samples.push_back(timeRound(kind) / double(kind.perRound));
    }
}

double SideBySide::medianMicroseconds(int kind) const
{
    return median(kinds.at(size_t(kind)).samples);
}
