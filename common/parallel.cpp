// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/parallel.h"

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <condition_variable>
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

std::int32_t OrderSlots(std::int32_t threads, std::int32_t count) {
    return kSlotsPerThread * std::min(ThreadCount(threads), std::max(count, 1));
}

std::int32_t RunInOrder(std::int32_t threads, std::int32_t count,
                        const std::function<void(std::int32_t slot, std::int32_t item)>& work,
                        const std::function<bool(std::int32_t slot, std::int32_t item)>& done) {
    const std::int32_t workers = std::min(ThreadCount(threads), std::max(count, 1));
    const auto items = static_cast<std::size_t>(std::max(count, 0));
    std::mutex lock;
    std::condition_variable changed;
    std::int32_t next = 0;
    bool stop = false;
    std::vector<char> finished(items);
    std::vector<std::int32_t> slotOf(items);
    std::vector<std::exception_ptr> errors(items);
    std::vector<char> slotFree(static_cast<std::size_t>(OrderSlots(threads, count)), 1);
    std::fenv_t environment;
    std::fegetenv(&environment);
    // Worker w takes its slots in turn; it waits for a slot while the item last worked there has
    // not been done. Items are taken in ascending order, so the item the caller waits for
    // always finds a slot: every slot taken holds an item before it.
    const auto run = [&](std::int32_t worker) {
        std::fesetenv(&environment);
        std::feclearexcept(FE_ALL_EXCEPT);
        for (std::int32_t turn = 0;; turn = (turn + 1) % kSlotsPerThread) {
            const std::int32_t slot = kSlotsPerThread * worker + turn;
            std::unique_lock guard(lock);
            changed.wait(guard, [&] { return stop || slotFree[slot] != 0; });
            if (stop || next >= count)
                return;
            const std::int32_t item = next++;
            slotFree[slot] = 0;
            guard.unlock();
            std::exception_ptr error;
            try {
                work(slot, item);
            } catch (...) {
                error = std::current_exception();
            }
            guard.lock();
            errors[item] = error;
            slotOf[item] = slot;
            finished[item] = 1;
            changed.notify_all();
        }
    };
    std::vector<std::jthread> pool;
    for (std::int32_t worker = 0; worker < workers; ++worker)
        pool.emplace_back(run, worker);
    const auto end = [&] {
        {
            const std::lock_guard guard(lock);
            stop = true;
        }
        changed.notify_all();
        pool.clear(); // joins every worker
    };
    for (std::int32_t item = 0; item < count; ++item) {
        std::int32_t slot = 0;
        std::exception_ptr error;
        {
            std::unique_lock guard(lock);
            changed.wait(guard, [&] { return finished[item] != 0; });
            slot = slotOf[item];
            error = errors[item];
        }
        bool more = false;
        if (!error) {
            try {
                more = done(slot, item);
            } catch (...) {
                error = std::current_exception();
            }
        }
        if (error) {
            end();
            std::rethrow_exception(error);
        }
        if (!more) {
            end();
            return item + 1;
        }
        {
            const std::lock_guard guard(lock);
            slotFree[slot] = 1;
        }
        changed.notify_all();
    }
    end();
    return count;
}

} // namespace zelt
