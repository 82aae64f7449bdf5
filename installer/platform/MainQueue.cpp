#include "MainQueue.h"

#include <glib.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

namespace zplat {
namespace {

struct Queue {
    std::mutex mutex;
    std::deque<MainTask> tasks;
    bool scheduled = false;  // one idle source drains everything, which keeps the order
    std::thread::id mainThread = std::this_thread::get_id();
};

Queue& TheQueue() {
    static Queue* q = new Queue;  // outlives worker threads still posting at exit
    return *q;
}

gboolean Drain(gpointer) {
    Queue& q = TheQueue();
    for (;;) {
        MainTask task;
        {
            std::lock_guard<std::mutex> lock(q.mutex);
            if (q.tasks.empty()) {
                q.scheduled = false;
                return G_SOURCE_REMOVE;
            }
            task = std::move(q.tasks.front());
            q.tasks.pop_front();
        }
        if (task) task();
    }
}

}  // namespace

void MainQueueBindThisThread() {
    TheQueue().mainThread = std::this_thread::get_id();
}

bool IsMainThread() {
    return TheQueue().mainThread == std::this_thread::get_id();
}

void MainQueuePost(MainTask task) {
    Queue& q = TheQueue();
    bool schedule = false;
    {
        std::lock_guard<std::mutex> lock(q.mutex);
        q.tasks.push_back(std::move(task));
        if (!q.scheduled) {
            q.scheduled = true;
            schedule = true;
        }
    }
    if (schedule) {
        GSource* source = g_idle_source_new();
        g_source_set_priority(source, G_PRIORITY_DEFAULT);
        g_source_set_callback(source, Drain, nullptr, nullptr);
        g_source_attach(source, nullptr);  // thread-safe; wakes the context
        g_source_unref(source);
    }
}

bool MainQueueRunUntil(const std::function<bool()>& done, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    GMainContext* ctx = g_main_context_default();
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        if (!g_main_context_iteration(ctx, FALSE)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    return true;
}

void MainQueueDrain() {
    GMainContext* ctx = g_main_context_default();
    while (g_main_context_iteration(ctx, FALSE)) {
    }
}

}  // namespace zplat
