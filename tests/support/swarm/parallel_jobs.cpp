#include "tests/support/swarm/parallel_jobs.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

namespace swarm {

void RunInParallel(const std::vector<std::function<void()>>& jobs, unsigned threads) {
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr firstFailure;
    std::mutex failureMutex;
    const auto work = [&]() {
        for (size_t job = next++; job < jobs.size() && !failed; job = next++) {
            try {
                jobs[job]();
            } catch (...) {
                const std::lock_guard<std::mutex> lock(failureMutex);
                if (!firstFailure) firstFailure = std::current_exception();
                failed = true;
            }
        }
    };
    std::vector<std::thread> workers;
    const size_t count = std::min<size_t>(std::max(threads, 1u), jobs.size());
    for (size_t i = 0; i < count; ++i) workers.emplace_back(work);
    for (std::thread& worker : workers) worker.join();
    if (firstFailure) std::rethrow_exception(firstFailure);
}

}  // namespace swarm
