// Main-thread queue over GLib's default main context: work posted from any thread runs
// on the thread that runs the main loop, one item at a time, in posting order.
#pragma once

#include <functional>

namespace zplat {

using MainTask = std::function<void()>;

// Marks the calling thread as the main thread (the one that will run the main loop).
// Called once by main(); until then the first thread that touched the queue counts.
void MainQueueBindThisThread();
bool IsMainThread();

// Never blocks; safe from any thread.
void MainQueuePost(MainTask task);

// For headless runs and tests: iterate the default main context until `done` answers
// true or `timeout_ms` has passed (false on timeout). Must be called on the main thread.
bool MainQueueRunUntil(const std::function<bool()>& done, int timeout_ms);
// Runs what is already queued, without waiting.
void MainQueueDrain();

}  // namespace zplat
