// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemodel/precalcstore.h"

#include "linemodel/extended.h"

#include <bit>
#include <cstring>

namespace zelt {

namespace {

// a == b for extended reals, decided on their bits, which is much cheaper than loading both
// into the x87 unit. Values made by arithmetic have one encoding each, so equal values have
// equal bits with two exceptions: 0 equals -0, and a NaN equals nothing, itself included.
bool SameReal(const long double& a, const long double& b) {
    const TRealBits x = BitsOf(a), y = BitsOf(b);
    if (x.Significand != y.Significand || x.SignAndExponent != y.SignAndExponent)
        return x.IsZero() && y.IsZero();
    return !x.IsNaN();
}

// The significands and the exponents folded by exclusive or, slot 2's significand turned half
// round: the vectors of one fit differ mostly in slots 1 and 2, whose changes always change the
// digest. Collisions cost a comparison of keys, nothing more.
std::uint64_t Digest(const TPrecalcStore::TModelKey& key) {
    std::uint64_t exponents[2];
    static_assert(sizeof exponents == sizeof key.Exponents);
    std::memcpy(exponents, key.Exponents.data(), sizeof exponents);
    std::uint64_t digest = exponents[0] ^ std::rotl(exponents[1], 8) ^
                           std::rotl(key.Significands[1], 32) ^ key.Significands[0];
    for (std::int32_t k = 2; k < TPrecalcStore::ModelSlotCount; ++k)
        digest ^= key.Significands[k];
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

bool TPrecalcStore::TModelKey::Of(const TParamVector& p, TModelKey& key) {
    key = TModelKey{};
    for (std::int32_t k = 0; k < ModelSlotCount; ++k) {
        const TRealBits bits = BitsOf(p[FirstModelSlot + k]);
        if (bits.IsNaN())
            return false;
        if (!bits.IsZero()) {
            key.Significands[k] = bits.Significand;
            key.Exponents[k] = bits.SignAndExponent;
        }
    }
    return true;
}

// The digest's bits mixed by Fibonacci hashing, the top ones taken.
std::size_t TPrecalcStore::Bucket(std::uint64_t digest) {
    return static_cast<std::size_t>((digest * 0x9E3779B97F4A7C15ULL) >> (64 - kBucketBits));
}

TPrecalcStore::TPrecalcStore() {
    heads_.fill(-1);
}

const TPrecalcRecord& TPrecalcStore::operator[](std::int32_t index) const {
    if (index < 0 || index >= count_)
        RaiseIndexError(index, 0, count_ - 1);
    return records_[index];
}

TPrecalcRecord& TPrecalcStore::Append(const TParamVector& p, std::int32_t count) {
    if (count_ == records_.size()) {
        records_.push_back(TPrecalcRecord{});
        keys_.emplace_back();
        digests_.push_back(0);
        next_.push_back(-1);
    }
    TPrecalcRecord& record = records_[count_];
    record.Params = p;
    record.Values.resize(count);
    const std::size_t index = static_cast<std::size_t>(count_);
    // A vector with a NaN slot matches no record, and its own record is never found: its key
    // gets the bits of a NaN, which the key of no comparable vector holds.
    TModelKey& key = keys_[index];
    if (!TModelKey::Of(p, key)) {
        key.Significands[0] = std::uint64_t{3} << 62;
        key.Exponents[0] = TRealBits::ExponentMask;
    }
    digests_[index] = Digest(key);
    std::int32_t& head = heads_[Bucket(digests_[index])];
    next_[index] = head;
    head = count_;
    count_ = CheckedAdd(count_, 1);
    return record;
}

void TPrecalcStore::clear() {
    count_ = 0;
    heads_.fill(-1);
    ++generation_;
}

std::int32_t TPrecalcStore::FindModelSlots(const TParamVector& p) const {
    TModelKey key;
    if (!TModelKey::Of(p, key))
        return -1;
    const std::uint64_t digest = Digest(key);
    for (std::int32_t index = heads_[Bucket(digest)]; index >= 0;
         index = next_[static_cast<std::size_t>(index)])
        if (digests_[static_cast<std::size_t>(index)] == digest &&
            keys_[static_cast<std::size_t>(index)] == key)
            return index;
    return -1;
}

} // namespace zelt
