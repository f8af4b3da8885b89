// SPDX-License-Identifier: GPL-3.0-or-later
#include "textinput/DataFld.h"

#include "textinput/scaling.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <utility>

namespace zelt {

namespace {

// Lines at or beyond this wavelength (nm) are never merged into a table.
constexpr double kWavelengthCeiling = 1000000;
// Wavelength range (nm) of the lines that get diffraction-order copies during a load.
constexpr double kOrderLow = 180;
constexpr double kOrderHigh = 700;

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Name lists compare equal when they hold the same names in the same order, ignoring the case of
// the letters a to z.
bool SameNames(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    return std::equal(
        a.begin(), a.end(), b.begin(), b.end(), [](const std::string& x, const std::string& y) {
            return std::equal(x.begin(), x.end(), y.begin(), y.end(),
                              [](char p, char q) { return LowerAscii(p) == LowerAscii(q); });
        });
}

bool ByWavelength(const auto& a, const auto& b) {
    return a.Wavelength < b.Wavelength;
}

// A table file being merged, with the record it offers next.
template <class File, class Record> struct TMergeSource {
    std::unique_ptr<File> file;
    Record current;
    bool finished = false;

    // The next record; at the end of the file, whose record it cannot read, the file must be as
    // it was at its opening: a table cut short while it was read would end early unseen.
    void Advance() {
        if (!file->ReadRecord(current)) {
            finished = true;
            file->RequireUnchanged();
        }
    }
};

} // namespace

template <class Record>
TRecordTable<Record>::TRecordTable(std::int32_t capacity) : items_(capacity), capacity_(capacity) {}

template <class Record> const Record& TRecordTable<Record>::At(std::int32_t index) const {
    if (index < 0)
        throw TxtError("Low limits");
    if (index >= Count())
        throw TxtError("High limits");
    return items_[index];
}

template <class Record> void TRecordTable<Record>::Clear() {
    items_.clear();
    items_.resize(capacity_);
    last_ = -1;
}

template <class Record> void TRecordTable<Record>::Add(Record record) {
    const std::int32_t index = CheckedAdd(last_, 1);
    if (items_.size() <= index)
        items_.resize(static_cast<long long>(index) + 1);
    items_[index] = std::move(record);
    last_ = index;
}

// Records beyond the new length are gone, so the last added record is at most the last one kept.
template <class Record> void TRecordTable<Record>::SetLength(std::int32_t length) {
    items_.resize(length);
    last_ = std::min(last_, CheckedSub(length, 1));
}

template <class Record>
void TRecordTable<Record>::AddOrders(bool second, bool third, double low, double high) {
    const std::int32_t last = last_;
    for (std::int32_t i = 0; i <= last; ++i) {
        const Record original = items_[i];
        if (original.Order != 1 || !(original.Wavelength >= low && original.Wavelength <= high))
            continue;
        for (const std::int32_t order : {2, 3}) {
            if (!(order == 2 ? second : third))
                continue;
            Record copy = original;
            copy.Order = order;
            // A grating sends the line of wavelength w in order m to where order 1 has m * w.
            copy.Wavelength = ScaledValue(original.Wavelength, order, "AddOrders");
            Add(copy);
        }
    }
}

// A table merged from ascending files is already in order and is left untouched.
template <class Record> void TRecordTable<Record>::Sort() {
    const auto first = items_.begin();
    const auto end = first + (last_ + 1);
    if (!std::is_sorted(first, end, ByWavelength<Record, Record>))
        std::stable_sort(first, end, ByWavelength<Record, Record>);
}

template <class Record>
bool TRecordTable<Record>::CanReuse(const std::vector<std::string>& names1,
                                    const std::vector<std::string>& names2, bool second,
                                    bool third) const {
    return names_ && SameNames(names_->First, names1) && SameNames(names_->Second, names2) &&
           !(secondOrder_ && !second) && !(thirdOrder_ && !third);
}

// Merges the files of all name pairs by wavelength, keeping one current record per file; on equal
// wavelengths the earlier file (in name-list order) goes first.
template <class Record>
template <class File>
void TRecordTable<Record>::Merge(const std::string& folder, const std::string& prefix,
                                 const std::vector<std::string>& names1,
                                 const std::vector<std::string>& names2) {
    std::vector<TMergeSource<File, Record>> sources;
    for (const std::string& a : names1) {
        for (const std::string& b : names2) {
            auto file = std::make_unique<File>(folder + "/" + prefix + a + "_" + b + ".txt");
            try {
                file->OpenRead();
            } catch (const std::exception&) {
                continue; // a missing or unreadable table is simply not part of the database
            }
            sources.push_back({std::move(file), Record{}, false});
        }
    }
    for (auto& source : sources)
        source.Advance();
    for (;;) {
        TMergeSource<File, Record>* next = nullptr;
        double smallest = kWavelengthCeiling;
        for (auto& source : sources) {
            if (!source.finished && source.current.Wavelength < smallest) {
                next = &source;
                smallest = source.current.Wavelength;
            }
        }
        if (next == nullptr)
            break;
        // Every field of the slot is read afresh, so its record can be moved into the table.
        Add(std::move(next->current));
        next->Advance();
    }
    SetLength(last_ + 1);
}

template <class Record>
template <class File>
bool TRecordTable<Record>::Load(const std::string& folder, const std::string& prefix,
                                const std::vector<std::string>& names1,
                                const std::vector<std::string>& names2, bool second, bool third) {
    bool changed = false;
    if (CanReuse(names1, names2, second, third)) {
        if (names_->First.empty() || names_->Second.empty())
            SetLength(0);
    } else {
        changed = true;
        names_.reset();
        Clear();
        secondOrder_ = thirdOrder_ = false;
        Merge<File>(folder, prefix, names1, names2);
        names_ = TNames{names1, names2};
    }
    if (second != secondOrder_ || third != thirdOrder_) {
        // Only orders switched on remain here; a table that already holds the copies of one
        // order must not get them twice.
        AddOrders(second && !secondOrder_, third && !thirdOrder_, kOrderLow, kOrderHigh);
        secondOrder_ = second;
        thirdOrder_ = third;
        changed = true;
    }
    return changed;
}

template class TRecordTable<TAtomRecord>;
template class TRecordTable<TMolRecord>;

TTextBase::TTextBase(std::int32_t atomCapacity, std::int32_t molCapacity)
    : atoms_(atomCapacity), mols_(molCapacity) {}

bool TTextBase::Load(const std::string& folder, const std::vector<std::string>& atomNames1,
                     const std::vector<std::string>& molNames1,
                     const std::vector<std::string>& atomNames2,
                     const std::vector<std::string>& molNames2, bool secondOrder, bool thirdOrder) {
    const bool atomsChanged =
        atoms_.Load<TAtomFile>(folder, "", atomNames1, atomNames2, secondOrder, thirdOrder);
    const bool molsChanged =
        mols_.Load<TMolFile>(folder, "m_", molNames1, molNames2, secondOrder, thirdOrder);
    if (atomsChanged)
        SortAtoms();
    if (molsChanged)
        SortMols();
    if (atomsChanged && OnAtomsChanged)
        OnAtomsChanged(*this);
    if (molsChanged && OnMolsChanged)
        OnMolsChanged(*this);
    return atomsChanged || molsChanged;
}

void TTextBase::GetAtom(std::int32_t index, TAtomRecord& record) const {
    record = atoms_.At(index);
}

void TTextBase::GetMol(std::int32_t index, TMolRecord& record) const {
    record = mols_.At(index);
}

void TTextBase::FindNearest(std::int32_t start, std::int32_t& index, double key,
                            std::uint8_t& match, TAtomRecord& record) const {
    index = start;
    const std::int32_t last = atoms_.Last();
    if (start < 0)
        throw TextBaseError("Low limits");
    if (start > last)
        throw TextBaseError("High limits");
    // First record from `start` on that is not below the key, or the last record when all are
    // below it.
    const auto& items = atoms_.Records();
    const auto found =
        std::lower_bound(items.begin() + start, items.begin() + last, key,
                         [](const TAtomRecord& r, double k) { return r.Wavelength < k; });
    index = static_cast<std::int32_t>(found - items.begin());
    // Distances in extended precision cannot overflow.
    const auto distance = [&](std::int32_t i) {
        return std::fabs(static_cast<long double>(key) - items[i].Wavelength);
    };
    if (index > 0 && distance(index - 1) < distance(index))
        --index;
    record = items[index];
    const double wavelength = record.Wavelength;
    match = wavelength == key ? 1 : wavelength > key ? 2 : 0;
}

} // namespace zelt
