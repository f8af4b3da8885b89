#include "linemodel/precalcstore.h"

#include "linemodel/extended.h"

#include <algorithm>

namespace zelt {

namespace {

// Records looked at directly before the digests: the minimiser asks mostly for the vectors it
// has just tried (the derivatives' four neighbours of the current vector, the trial vector).
constexpr std::int32_t kRecentRecords = 4;

// a == b for extended reals, decided on their bits, which is much cheaper than loading both
// into the x87 unit. Values made by arithmetic have one encoding each, so equal values have
// equal bits with two exceptions: 0 equals -0, and a NaN equals nothing, itself included.
bool SameReal(const long double& a, const long double& b) {
    const TRealBits x = BitsOf(a), y = BitsOf(b);
    if (x.Significand != y.Significand || x.SignAndExponent != y.SignAndExponent)
        return x.IsZero() && y.IsZero();
    return !x.IsNaN();
}

// A digest of the model slots in which equal extended reals give equal digests (0 and -0 taken
// as one; a NaN, equal to nothing, may digest as it likes).
std::uint64_t ModelSlotsDigest(const TParamVector& p) {
    std::uint64_t digest = 0;
    const std::int32_t last = TPrecalcStore::FirstModelSlot + TPrecalcStore::ModelSlotCount;
    for (std::int32_t slot = TPrecalcStore::FirstModelSlot; slot < last; ++slot) {
        const TRealBits bits = BitsOf(p[slot]).IsZero() ? TRealBits{} : BitsOf(p[slot]);
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
    const auto same = [&p](const TPrecalcRecord& record) {
        return SameSlots(record.Params, p, FirstModelSlot, FirstModelSlot + ModelSlotCount);
    };
    const std::int32_t older = std::max(count_ - kRecentRecords, 0);
    for (std::int32_t index = count_ - 1; index >= older; --index)
        if (same(records_[index]))
            return index;
    if (older == 0)
        return -1;
    const std::uint64_t digest = ModelSlotsDigest(p);
    for (std::int32_t index = older - 1; index >= 0; --index)
        if (digests_[index] == digest && same(records_[index]))
            return index;
    return -1;
}

} // namespace zelt
