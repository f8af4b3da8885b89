// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/parallel.h"

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace zelt {

std::int32_t ThreadCount(std::int32_t threads) {
    if (threads > 0)
        return threads;
    return static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency()));
}

std::int32_t RunRows(std::int32_t threads, std::int32_t rows,
                     const std::function<bool(std::int32_t worker, std::int32_t row)>& row) {
    const std::int32_t workers = std::min(ThreadCount(threads), std::max(rows, 1));
    std::atomic<std::int32_t> next{0};
    // The first row that stopped the run so far; rows after it are not needed.
    std::atomic<std::int32_t> stop{rows};
    std::mutex errorLock;
    std::exception_ptr error;
    std::int32_t errorRow = rows;
    const auto stopAt = [&](std::int32_t r) {
        std::int32_t current = stop;
        while (r < current && !stop.compare_exchange_weak(current, r)) {
        }
    };
    // A new thread need not start with the caller's rounding and precision (Windows gives new
    // threads a 53-bit x87 precision), so every worker takes the caller's environment over.
    std::fenv_t environment;
    std::fegetenv(&environment);
    const auto work = [&](std::int32_t worker) {
        std::fesetenv(&environment);
        std::feclearexcept(FE_ALL_EXCEPT);
        for (std::int32_t r = next++; r < rows && r < stop; r = next++) {
            try {
                if (!row(worker, r))
                    stopAt(r);
            } catch (...) {
                const std::lock_guard lock(errorLock);
                if (r < errorRow) {
                    errorRow = r;
                    error = std::current_exception();
                }
                stopAt(r);
            }
        }
    };
    std::vector<std::jthread> pool;
    for (std::int32_t worker = 1; worker < workers; ++worker)
        pool.emplace_back(work, worker);
    work(0);
    pool.clear(); // joins every worker
    if (error && errorRow == stop)
        std::rethrow_exception(error);
    return stop;
}

} // namespace zelt
