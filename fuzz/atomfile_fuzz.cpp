// libFuzzer target: arbitrary bytes as an atomic line table. Reading must end calmly (false from
// ReadRecord) whatever the file holds; the same file then goes through a store load with both
// diffraction orders and a search.

#include "textinput/DataFld.h"
#include "textinput/TxtAccessNew.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

// A folder of this process for the table file; the fuzzer runs one input at a time.
const std::filesystem::path& Folder() {
    static const std::filesystem::path folder = [] {
        std::random_device random;
        auto path = std::filesystem::temp_directory_path() /
                    ("zelt-fuzz-atomfile-" + std::to_string(random()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto file = Folder() / "Fz_I.txt";
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    zelt::TAtomFile reader(file.string());
    reader.OpenRead();
    zelt::TAtomRecord record;
    while (reader.ReadRecord(record)) {
    }
    reader.Close();

    zelt::TTextBase base(16, 0);
    base.Load(Folder().string(), {"Fz"}, {}, {"I"}, {}, true, true);
    if (base.AtomCount() > 0) {
        std::int32_t index = 0;
        std::uint8_t match = 0;
        base.FindNearest(0, index, 500, match, record);
        base.FindNearest(base.AtomCount() - 1, index, 0, match, record);
    }
    return 0;
}
