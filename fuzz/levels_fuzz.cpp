// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: arbitrary bytes as a level file, read as the program reads a species'
// levels and then listed as the "Database levels" view shows them. The read ends with levels or
// an error with a message; the levels are finite, within their field widths and strictly
// ascending in energy, and a stop at an energy out of order is told by its one message.

#include "fuzz/fuzzsupport.h"
#include "linemodel/atomicdata.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace zelt;
using namespace zelt::fuzz;

void CheckLevels(const TCheckedVector<TLevel>& levels) {
    for (std::int32_t i = 0; i < levels.size(); ++i) {
        const TLevel& level = levels[i];
        RequireField(level.Configuration, 23, true, "Configuration");
        RequireField(level.Term, 13, true, "Term");
        RequireFinite(level.J, "J");
        RequireFinite(level.G, "G");
        RequireFinite(level.Energy, "Energy");
        Require(level.SumA == 0 && level.SumIL == 0 && level.Population == 0,
                "a level read with sums or a population");
        Require(i == 0 || levels[i - 1].Energy < level.Energy, "energies not ascending");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TMemoryFile input("levels");
    input.Fill(data, size);

    std::vector<std::string> messages;
    TAtomicData model([&](const std::string& text) { messages.push_back(text); });
    EndsCalmly([&] { model.LoadLevels(input.Path()); });
    CheckLevels(model.Levels);
    Require(messages.size() <= 1, "more than one message");
    for (const std::string& text : messages)
        Require(text.starts_with("Energy values ") &&
                    text.ends_with(" are not unique or not ascending. Stopping here."),
                "the message \"" + text + "\"");

    std::vector<std::string> list;
    EndsCalmly([&] { model.ListLevels(list); });
    return 0;
}
