// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The spectral line database in memory: a table of atomic lines and a table of molecular band
// lines, each merged from the table files of a database folder, kept in ascending wavelength,
// optionally extended by the lines' second and third diffraction-order copies, and searched for
// the line nearest to a wavelength.

#include "common/checked.h"
#include "textinput/TxtAccessNew.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zelt {

// One table of the store. Records 0 to Last hold the lines added; the array may be longer (its
// capacity of zeroed records before a load). The table remembers the name lists it was loaded
// from and which diffraction-order copies it holds.
template <class Record> class TRecordTable {
public:
    explicit TRecordTable(std::int32_t capacity);

    std::int32_t Count() const { return items_.size(); }
    std::int32_t Last() const { return last_; }
    // Record `index`; TxtError "Low limits" / "High limits" outside the array.
    const Record& At(std::int32_t index) const;
    const TCheckedVector<Record>& Records() const { return items_; }

    void Clear();
    void Add(Record record);
    void SetLength(std::int32_t length);
    void AddOrders(bool second, bool third, double low, double high);
    void Sort();

    // Reloads the table from the files folder/<prefix><a>_<b>.txt, or keeps it when it was
    // loaded from the same names and no order copies are to be removed; then adds the order
    // copies requested and not yet held. True when the table changed.
    template <class File>
    bool Load(const std::string& folder, const std::string& prefix,
              const std::vector<std::string>& names1, const std::vector<std::string>& names2,
              bool second, bool third);

private:
    struct TNames {
        std::vector<std::string> First, Second;
    };

    bool CanReuse(const std::vector<std::string>& names1, const std::vector<std::string>& names2,
                  bool second, bool third) const;
    template <class File>
    void Merge(const std::string& folder, const std::string& prefix,
               const std::vector<std::string>& names1, const std::vector<std::string>& names2);

    TCheckedVector<Record> items_;
    std::int32_t capacity_;
    std::int32_t last_ = -1;
    // The name lists of the last complete load; empty lists before the first one, none while a
    // reload is under way (so a failed reload is never reused).
    std::optional<TNames> names_ = TNames{};
    bool secondOrder_ = false;
    bool thirdOrder_ = false;
};

class TTextBase {
public:
    TTextBase(std::int32_t atomCapacity, std::int32_t molCapacity);

    // Loads (or keeps) the atomic table from folder/<a>_<b>.txt and the molecular table from
    // folder/m_<a>_<b>.txt for every pair of names, merged in ascending wavelength; files that
    // cannot be opened are skipped. With `secondOrder` / `thirdOrder` the lines from 180 to
    // 700 nm get copies at twice / three times their wavelength. True when a table changed.
    bool Load(const std::string& folder, const std::vector<std::string>& atomNames1,
              const std::vector<std::string>& molNames1, const std::vector<std::string>& atomNames2,
              const std::vector<std::string>& molNames2, bool secondOrder, bool thirdOrder);

    std::int32_t AtomCount() const { return atoms_.Count(); }
    std::int32_t MolCount() const { return mols_.Count(); }
    // Copies record `index`; TxtError "Low limits" / "High limits" outside the table.
    void GetAtom(std::int32_t index, TAtomRecord& record) const;
    void GetMol(std::int32_t index, TMolRecord& record) const;

    // The atomic record nearest to `key` (nm) at or after `start`, or the one just below that
    // when it is strictly nearer; on equal distances the record at or above `key` wins.
    // `match` is 1 for an exact hit, 2 when the record lies above `key`, 0 below. A start
    // outside the loaded table raises TextBaseError "Low limits" / "High limits".
    void FindNearest(std::int32_t start, std::int32_t& index, double key, std::uint8_t& match,
                     TAtomRecord& record) const;

    void ClearAtoms() { atoms_.Clear(); }
    void ClearMols() { mols_.Clear(); }
    void AddAtom(const TAtomRecord& record) { atoms_.Add(record); }
    void AddMol(const TMolRecord& record) { mols_.Add(record); }
    void SetAtomLength(std::int32_t length) { atoms_.SetLength(length); }
    void SetMolLength(std::int32_t length) { mols_.SetLength(length); }
    // Appends, for every record of order 1 from `low` to `high` nm, a copy at twice (order 2)
    // and/or three times (order 3) its wavelength; the copies are sorted in by SortAtoms.
    void AddOrders(bool second, bool third, double low, double high) {
        atoms_.AddOrders(second, third, low, high);
    }
    void AddMolOrders(bool second, bool third, double low, double high) {
        mols_.AddOrders(second, third, low, high);
    }
    // Stable ascending sort of the added records by wavelength.
    void SortAtoms() { atoms_.Sort(); }
    void SortMols() { mols_.Sort(); }

    // Called at the end of a load that changed the respective table.
    std::function<void(TTextBase&)> OnAtomsChanged;
    std::function<void(TTextBase&)> OnMolsChanged;

private:
    TRecordTable<TAtomRecord> atoms_;
    TRecordTable<TMolRecord> mols_;
};

} // namespace zelt
