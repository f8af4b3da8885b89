// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The cache of model results: the model's branching fractions for the parameter vectors a fit
// has tried, so that the minimiser's one-line-at-a-time requests cost one model evaluation per
// vector.

#include "common/checked.h"
#include "leastsquares/marqdef.h"
#include "linemodel/extended.h"

#include <array>
#include <cstdint>
#include <vector>

namespace zelt {

using TPreCalcDataArray = TCheckedVector<double>;

// One cached model result: BFFit of every selected line for one parameter vector.
struct TPrecalcRecord {
    TParamVector Params;
    TPreCalcDataArray Values;
};

// Records are only appended and the store is only emptied as a whole. Emptying keeps the
// records and their arrays for reuse, so that the model evaluations of a fit allocate nothing
// once the store has grown to its size.
class TPrecalcStore {
public:
    // The slots the model reads, which decide whether a record holds its result.
    static constexpr std::int32_t FirstModelSlot = 1, ModelSlotCount = 8;

    // The bits of the model slots, -0 taken as 0, so that equal keys mean equal slots. Comparing
    // keys costs a few integer operations instead of eight reals taken apart.
    struct TModelKey {
        std::array<std::uint64_t, ModelSlotCount> Significands{};
        std::array<std::uint16_t, ModelSlotCount> Exponents{};

        // The key of p's model slots; false when a slot is a NaN, which equals nothing.
        static bool Of(const TParamVector& p, TModelKey& key);
        // Every bit compared, without a branch (a library memcmp would cost more than the keys).
        bool operator==(const TModelKey& other) const {
            std::uint64_t difference = 0;
            for (std::int32_t k = 0; k < ModelSlotCount; ++k)
                difference |= (Significands[k] ^ other.Significands[k]) |
                              static_cast<std::uint16_t>(Exponents[k] ^ other.Exponents[k]);
            return difference == 0;
        }
    };

    TPrecalcStore();
    std::int32_t size() const { return count_; }
    const TPrecalcRecord& operator[](std::int32_t index) const;
    // Appends a record for p whose Values have `count` elements (their contents left to the
    // caller) and returns it.
    TPrecalcRecord& Append(const TParamVector& p, std::int32_t count);
    void clear();
    // Changes whenever the store is emptied: a record index taken in one generation stands for
    // the same record as long as the generation lasts.
    std::uint64_t Generation() const { return generation_; }

    // The index of the record whose slots FirstModelSlot .. + ModelSlotCount - 1 equal those of
    // p (compared as extended reals), or -1. The model adds a record only for a vector not yet
    // stored, so at most one record matches.
    std::int32_t FindModelSlots(const TParamVector& p) const;

private:
    static constexpr int kBucketBits = 8;
    static std::size_t Bucket(std::uint64_t digest);

    TCheckedVector<TPrecalcRecord> records_;
    // The key of each record and a digest of it; records are chained by the digest's bucket,
    // newest first, so that a look-up compares the keys of a few records only.
    std::vector<TModelKey> keys_;
    std::vector<std::uint64_t> digests_;
    std::vector<std::int32_t> next_; // the next older record of the bucket, or -1
    std::array<std::int32_t, std::size_t{1} << kBucketBits>
        heads_; // the newest record of each bucket, or -1
    std::int32_t count_ = 0;
    std::uint64_t generation_ = 0;
};

// x truncated toward zero: the line number x of a model callback, or a count of populated
// levels. For 0 <= x < 2^31 (the
// minimiser passes whole numbers) it is read from the bits of x, x = significand
// 2^(exponent - 63), because truncating an extended real in the x87 unit switches its rounding
// mode twice, which stalls the unit; other numbers go through the checked conversion.
inline std::int32_t PointIndex(const long double& x) {
    const TRealBits bits = BitsOf(x);
    if (bits.SignAndExponent < TRealBits::Bias)
        return 0;
    const int exponent = bits.SignAndExponent - TRealBits::Bias;
    if (exponent <= 30)
        return static_cast<std::int32_t>(bits.Significand >> (63 - exponent));
    return TruncToInt(x);
}

// True when the slots first .. last - 1 of both vectors are equal (as extended reals).
bool SameSlots(const TParamVector& a, const TParamVector& b, std::int32_t first, std::int32_t last);

} // namespace zelt
