#pragma once

// The rolling window the parallel download and upload share; internal to the library.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include <Poco/Runnable.h>
#include <Poco/ThreadPool.h>

namespace zuzezi_zid {
namespace op_detail {

// Finished workers report their slot here, from their own thread.
class DoneSlots {
public:
    void Report(unsigned slot);
    // Blocks until at least one slot was reported, then takes all reported so far.
    std::vector<unsigned> Take();

private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    std::vector<unsigned> m_slots;
};

// A worker that has just reported is still leaving its thread for a moment.
void StartOnPool(Poco::ThreadPool& pool, Poco::Runnable& task);

struct WindowSteps {
    // True when the caller cancelled (the step records why); no further unit starts.
    std::function<bool()> cancelled;
    // Prepares `unit` on `slot` and starts it; a unit done without a worker reports its slot
    // itself. False stops the run (the step records why).
    std::function<bool(unsigned slot, uint64_t unit)> start;
    // The unit on `slot` ended; runs on the calling thread. False stops the run.
    std::function<bool(unsigned slot, uint64_t unit)> finish;
    // Units [first, end) have joined the finished prefix, in order. Optional.
    std::function<void(uint64_t first, uint64_t end)> advance;
    // Every unit has started and `slot`, free, found none left; called once. Optional.
    std::function<void(unsigned slot)> exhausted;
};

// Runs `count` units on `slots` workers: a unit starts as soon as a worker is free and it is
// less than `window` units ahead of the first unfinished one, so no unit waits for the slowest
// of a batch and what is tracked stays bounded. After a failure or a cancellation only the
// units under way are waited for. True when every unit finished well.
bool RunWindow(unsigned slots, uint64_t count, uint64_t window, DoneSlots* done,
               const WindowSteps& steps);

}  // namespace op_detail
}  // namespace zuzezi_zid
