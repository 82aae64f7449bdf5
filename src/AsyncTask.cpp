#include "AsyncTask.h"

namespace zuzezi_zid {

AsyncTask::AsyncTask(const std::function<void()>& fn) : Poco::Task("AsyncTask"), m_fn(fn) {}

AsyncTask::~AsyncTask() = default;

void AsyncTask::runTask() {
    if (m_fn) {
        m_fn();
    }
}

}  // namespace zuzezi_zid
