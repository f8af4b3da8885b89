#include "linemodel/precalcstore.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace zelt {

namespace {

// Records looked at directly before the digests: the minimiser asks mostly for the vectors it
// has just tried (the derivatives' four neighbours of the current vector, the trial vector).
constexpr std::int32_t kRecentRecords = 4;

// The 80 bits of an extended real: the 64-bit significand and 16 bits of sign and exponent (the
// padding beyond them is not part of the value).
struct TRealBits {
    std::uint64_t Significand = 0;
    std::uint16_t SignAndExponent = 0;
};

TRealBits BitsOf(long double value) {
    static_assert(std::numeric_limits<long double>::digits == 64, "x87 extended reals");
    TRealBits bits;
    std::memcpy(&bits.Significand, &value, sizeof bits.Significand);
    std::memcpy(&bits.SignAndExponent, reinterpret_cast<const char*>(&value) + 8,
                sizeof bits.SignAndExponent);
    return bits;
}

// a == b for extended reals, decided on their bits, which is much cheaper than loading both
// into the x87 unit. Values made by arithmetic have one encoding each, so equal values have
// equal bits with two exceptions: 0 equals -0, and a NaN equals nothing, itself included.
bool SameReal(long double a, long double b) {
    const TRealBits x = BitsOf(a), y = BitsOf(b);
    constexpr std::uint16_t kExponent = 0x7FFF;
    if (x.Significand != y.Significand || x.SignAndExponent != y.SignAndExponent)
        return x.Significand == 0 && y.Significand == 0 && (x.SignAndExponent & kExponent) == 0 &&
               (y.SignAndExponent & kExponent) == 0;
    const bool notANumber =
        (x.SignAndExponent & kExponent) == kExponent && (x.Significand << 1) != 0;
    return !notANumber;
}

// A digest of the model slots in which equal extended reals give equal digests (0 and -0 taken
// as one; a NaN, equal to nothing, may digest as it likes).
std::uint64_t ModelSlotsDigest(const TParamVector& p) {
    std::uint64_t digest = 0;
    const std::int32_t last = TPrecalcStore::FirstModelSlot + TPrecalcStore::ModelSlotCount;
    for (std::int32_t slot = TPrecalcStore::FirstModelSlot; slot < last; ++slot) {
        const TRealBits bits = BitsOf(p[slot] == 0 ? 0.0L : p[slot]);
        digest = (digest ^ bits.Significand ^ (std::uint64_t{bits.SignAndExponent} << 48)) *
                 0x9E3779B97F4A7C15ULL;
        digest ^= digest >> 29;
    }
    return digest;
}

} // namespace

bool SameSlots(const TParamVector& a, const TParamVector& b, std::int32_t first,
               std::int32_t last) {
    for (std::int32_t slot = first; slot < last; ++slot)
        if (!SameReal(a[slot], b[slot]))
            return false;
    return true;
}

const TPrecalcRecord& TPrecalcStore::operator[](std::int32_t index) const {
    if (index < 0 || index >= count_)
        RaiseIndexError(index, 0, count_ - 1);
    return records_[index];
}

TPrecalcRecord& TPrecalcStore::Append(const TParamVector& p, std::int32_t count) {
    if (count_ == records_.size()) {
        records_.push_back(TPrecalcRecord{});
        digests_.push_back(0);
    }
    TPrecalcRecord& record = records_[count_];
    record.Params = p;
    record.Values.resize(count);
    digests_[count_] = ModelSlotsDigest(p);
    count_ = CheckedAdd(count_, 1);
    return record;
}

std::int32_t TPrecalcStore::FindModelSlots(const TParamVector& p) const {
    constexpr std::int32_t last = FirstModelSlot + ModelSlotCount;
    const std::int32_t older = std::max(count_ - kRecentRecords, 0);
    for (std::int32_t index = count_ - 1; index >= older; --index)
        if (SameSlots(records_[index].Params, p, FirstModelSlot, last))
            return index;
    if (older == 0)
        return -1;
    const std::uint64_t digest = ModelSlotsDigest(p);
    for (std::int32_t index = older - 1; index >= 0; --index)
        if (digests_[index] == digest && SameSlots(records_[index].Params, p, FirstModelSlot, last))
            return index;
    return -1;
}

} // namespace zelt
