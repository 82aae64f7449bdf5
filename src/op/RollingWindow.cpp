#include "op/RollingWindow.h"

#include <chrono>
#include <thread>

#include <Poco/Exception.h>

namespace zuzezi_zid {
namespace op_detail {

void DoneSlots::Report(unsigned slot) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_slots.push_back(slot);
    m_cond.notify_one();
}

std::vector<unsigned> DoneSlots::Take() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cond.wait(lock, [this] { return !m_slots.empty(); });
    std::vector<unsigned> out;
    out.swap(m_slots);
    return out;
}

void StartOnPool(Poco::ThreadPool& pool, Poco::Runnable& task) {
    for (int tries = 0;; ++tries) {
        try {
            pool.start(task);
            return;
        } catch (const Poco::NoThreadAvailableException&) {
            if (tries >= 5000) throw;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
}

bool RunWindow(unsigned slots, uint64_t count, uint64_t window, DoneSlots* done,
               const WindowSteps& steps) {
    if (window == 0) window = 1;
    std::vector<char> finished(window, 0);
    std::vector<uint64_t> slot_unit(slots, 0);
    std::vector<unsigned> free_slots;
    for (unsigned i = slots; i > 0; --i) free_slots.push_back(i - 1);
    uint64_t prefix = 0;
    uint64_t next = 0;
    unsigned in_flight = 0;
    bool failed = false;
    bool exhausted = false;

    auto can_start = [&] {
        return !failed && next < count && !free_slots.empty() && next < prefix + window;
    };
    while (true) {
        while (can_start()) {
            if (steps.cancelled && steps.cancelled()) {
                failed = true;
                break;
            }
            unsigned k = free_slots.back();
            slot_unit[k] = next;
            if (!steps.start(k, next)) {
                failed = true;
                break;
            }
            free_slots.pop_back();
            ++next;
            ++in_flight;
        }
        if (!exhausted && !failed && count > 0 && next == count && !free_slots.empty()) {
            exhausted = true;
            if (steps.exhausted) steps.exhausted(free_slots.back());
        }
        if (in_flight == 0) break;

        for (unsigned j : done->Take()) {
            --in_flight;
            free_slots.push_back(j);
            if (failed) continue;  // only drain the units still under way
            if (!steps.finish(j, slot_unit[j])) {
                failed = true;
                continue;
            }
            finished[slot_unit[j] % window] = 1;
        }
        const uint64_t old_prefix = prefix;
        while (prefix < count && finished[prefix % window]) {
            finished[prefix % window] = 0;
            ++prefix;
        }
        if (prefix != old_prefix && steps.advance) steps.advance(old_prefix, prefix);
    }
    return !failed;
}

}  // namespace op_detail
}  // namespace zuzezi_zid
