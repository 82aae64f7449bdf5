// Progress printing shared by the examples: one line per percent step, in order.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

namespace example {

struct Progress {
    std::atomic<int> last_percent{-1};
};

// A TransferProgressCallback; user_data is the Progress.
inline void OnProgress(uint64_t transferred, uint64_t total, void* user_data) {
    auto* progress = static_cast<Progress*>(user_data);
    if (total == 0) return;
    int percent = static_cast<int>(transferred * 100 / total);
    // Slices and parts report from several threads at once; print each step once, in order.
    int last = progress->last_percent.load();
    while (percent > last) {
        if (!progress->last_percent.compare_exchange_weak(last, percent)) continue;
        std::printf("progress %d%% (%llu of %llu bytes)\n", percent,
                    static_cast<unsigned long long>(transferred),
                    static_cast<unsigned long long>(total));
        break;
    }
}

}  // namespace example
