// The detector runs during acquisition: once started and warmed up, its
// runs allocate no memory. Counts allocations through the global operator
// new of this test program.
#include "tests/analysis/detection/DetectorTestSupport.h"

#include "analysis/beats/TBeatStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> counting{false};
std::atomic<int> allocations{0};

class BeatCounter : public TBeatListener
{
public:
    void beatDetected(const TBeat&) override { ++count; }
    int count = 0;
};

} // namespace

void* operator new(std::size_t size)
{
    if (counting)
        ++allocations;
    if (void* memory = std::malloc(size > 0 ? size : 1))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

TEST(QrsDetectorAllocation, RunsDuringAcquisitionAllocateNothing)
{
    ecgsynth::Config config;
    config.leads = 14;
    config.heartRate = 80;
    config.duration = 90.0;
    config.noiseMv = 0.03;
    config.wanderMv = 0.4;
    config.rr = ecgsynth::regularRr(80, 200);
    for (int k = 30; k < 100; k += 11) {
        config.rr[std::size_t(k)] *= 0.6; // premature beats, held back and resolved
        config.beatScale[k + 1] = {1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0};
    }
    const ecgsynth::Record record = ecgsynth::synthesize(config);
    auto signal = ecgsynth::makeSignal(record);
    TBeatStore store(14);
    BeatCounter counter;
    TQrsDetector detector;
    detector.setBeatStore(&store);
    detector.addListener(&counter);
    detector.start(*signal, 0.0);
    int warmUpBeats = 0;
    for (int at = 0; at < record.length(); at += 25) {
        ecgsynth::append(*signal, record, at, 25);
        if (detector.lastAnalysedTime() + detector.lagTime() + 0.2 > double(signal->appendedCount()) / 250)
            continue;
        if (at >= 20 * 250 && warmUpBeats == 0)
            warmUpBeats = counter.count;
        counting = at >= 20 * 250;
        detector.run();
        counting = false;
    }
    EXPECT_EQ(allocations.load(), 0);
    EXPECT_GT(counter.count - warmUpBeats, 70);
}
