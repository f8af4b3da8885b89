// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Rows of a computation shared among a few threads, for work whose rows are independent.

#include <cstdint>
#include <functional>

namespace zelt {

// The number of threads that `threads` asks for: itself when positive, else one per core.
std::int32_t ThreadCount(std::int32_t threads);

// Runs row(worker, r) for r = 0, 1, ... rows - 1 on min(ThreadCount(threads), rows) threads,
// the calling thread among them; worker numbers the thread (0 .. threads - 1) so that each can
// keep its own scratch. Rows are handed out in ascending order. A row that returns false or
// raises stops the run there, and the first such row decides: RunRows returns its number, or
// raises its exception once all threads have ended; it returns `rows` when every row returned
// true. Every row before the first stopping one has been run; rows after it may have been.
// Each thread starts with the caller's floating-point environment (rounding, precision) and
// its flags cleared; the caller's thread is left with the flags of the rows it ran.
std::int32_t RunRows(std::int32_t threads, std::int32_t rows,
                     const std::function<bool(std::int32_t worker, std::int32_t row)>& row);

// Runs work(slot, i) for i = 0, 1, ... count - 1 on ThreadCount(threads) threads of their own
// and done(slot, i) on the calling thread for every i in ascending order, each once its work has
// returned, so that the results come out in the order of the items whatever thread made them.
// slot (0 .. OrderSlots(threads) - 1) names the scratch the item was worked in: it is not given
// to another item before done of this one has returned, so done may read what work left there.
// Each thread has kSlotsPerThread slots: it runs that far ahead of an item that takes long, so
// that items of unequal cost do not keep it waiting for their turn to be done. done returning false
// ends the run after that item, and no later item is done; an exception of work is raised on the
// calling thread in place of its item's done, one of done there and then, in both cases once every
// thread has ended. Returns the number of items done. The threads start as RunRows's do.
constexpr std::int32_t kSlotsPerThread = 8;
// The number of slots of RunInOrder on ThreadCount(threads) threads for `count` items.
std::int32_t OrderSlots(std::int32_t threads, std::int32_t count);
std::int32_t RunInOrder(std::int32_t threads, std::int32_t count,
                        const std::function<void(std::int32_t slot, std::int32_t item)>& work,
                        const std::function<bool(std::int32_t slot, std::int32_t item)>& done);

} // namespace zelt
