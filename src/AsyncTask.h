#pragma once

#include <functional>

#include <Poco/Task.h>

namespace zuzezi_zid {

// One asynchronous call's work, run once on a thread of the process-wide task manager.
class AsyncTask : public Poco::Task {
public:
    explicit AsyncTask(const std::function<void()>& fn);
    ~AsyncTask() override;

    void runTask() override;

private:
    std::function<void()> m_fn;
};

}  // namespace zuzezi_zid
