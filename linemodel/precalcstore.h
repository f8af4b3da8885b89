#pragma once
// The cache of model results: the model's branching fractions for the parameter vectors a fit
// has tried, so that the minimiser's one-line-at-a-time requests cost one model evaluation per
// vector.

#include "common/checked.h"
#include "leastsquares/marqdef.h"
#include "linemodel/extended.h"

#include <cstdint>

namespace zelt {

using TPreCalcDataArray = CheckedVector<double>;

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

    std::int32_t size() const { return count_; }
    const TPrecalcRecord& operator[](std::int32_t index) const;
    // Appends a record for p whose Values have `count` elements (their contents left to the
    // caller) and returns it.
    TPrecalcRecord& Append(const TParamVector& p, std::int32_t count);
    void clear() { count_ = 0; }

    // The index of the record whose slots FirstModelSlot .. + ModelSlotCount - 1 equal those of
    // p (compared as extended reals), or -1. The model adds a record only for a vector not yet
    // stored, so at most one record matches.
    std::int32_t FindModelSlots(const TParamVector& p) const;

private:
    CheckedVector<TPrecalcRecord> records_;
    // A digest of each record's model slots: records whose digest differs from the vector's
    // cannot match, so a miss compares one integer per record instead of eight reals.
    CheckedVector<std::uint64_t> digests_;
    std::int32_t count_ = 0;
};

// The line number x of a model callback: x truncated toward zero. For 0 <= x < 2^31 (the
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
