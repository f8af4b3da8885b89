// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/addspecies.h"

#include "app/settings.h"
#include "common/errors.h"
#include "common/format.h"
#include "common/sysfile.h"
#include "common/textfile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <sstream>

namespace zelt {

namespace {

// An export is a few megabytes at most (all lines of iron); the bound keeps a wrong file from
// filling the memory.
constexpr TReadLimit kExportLimit{64 * kMegabyte, "an ASD export"};

bool SameName(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream stream(text);
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

std::string Joined(const std::vector<std::string>& words, std::size_t from) {
    std::string joined;
    for (std::size_t i = from; i < words.size(); ++i)
        joined += (i > from ? "_" : "") + words[i];
    return joined;
}

// "2 without an A value, 1 without the energy of a level" from the reasons of what was left out.
std::string Counted(const std::vector<TAsdLeftOut>& leftOut) {
    std::map<std::string, int> counts;
    for (const TAsdLeftOut& item : leftOut)
        ++counts[item.Reason.starts_with("no energy (") ? "no energy" : item.Reason];
    std::string text;
    for (const auto& [reason, count] : counts)
        text += (text.empty() ? "" : ", ") + std::to_string(count) + " with " + reason;
    return text;
}

std::string KeptText(std::size_t kept, const std::vector<TAsdLeftOut>& leftOut) {
    std::string text = std::to_string(kept) + " kept";
    if (!leftOut.empty())
        text += ", " + std::to_string(leftOut.size()) + " left out (" + Counted(leftOut) + ")";
    return text;
}

// The file name of a species' files: letters, digits and "+-." only, so that it is a plain
// name in any folder and a word of the Lines key.
void CheckNameWords(const std::string& name, const std::vector<std::string>& words) {
    for (const std::string& word : words)
        for (const char c : word)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
                throw Exception("Species name \"" + name + "\": the character \"" +
                                std::string(1, c) +
                                "\" cannot stand in the names of its files; use letters, "
                                "digits, \"+\", \"-\" and \".\"");
}

// An element's symbol: one with a standard atomic weight, or one of the elements without.
bool IsElement(const std::string& symbol) {
    static const std::string kWithoutWeight[] = {"Tc", "Pm", "Po", "At", "Rn", "Fr", "Ra",
                                                 "Ac", "Np", "Pu", "Am", "Cm", "Bk", "Cf",
                                                 "Es", "Fm", "Md", "No", "Lr"};
    return StandardAtomicWeight(symbol).has_value() ||
           std::find(std::begin(kWithoutWeight), std::end(kWithoutWeight), symbol) !=
               std::end(kWithoutWeight);
}

} // namespace

TSpeciesPlan PlanSpecies(const TConfigStore& config, const TAddSpeciesRequest& request) {
    TSpeciesPlan plan;
    const std::vector<std::string> words = Words(request.Name);
    if (words.size() < 2 || !IsElement(words[0]) || IonStage(words[1]) == 0)
        throw Exception("Species name \"" + request.Name +
                        "\": expected the element and its ion stage first, as in \"Kr I\"");
    CheckNameWords(request.Name, words);
    plan.Section = Joined(words, 0);
    std::replace(plan.Section.begin(), plan.Section.end(), '_', ' ');
    const TConfigView view = config.View();
    for (const std::string& section : view.ReadSections())
        if (SameName(section, plan.Section))
            throw Exception("The species section [" + section + "] is in \"" + config.FileName() +
                            "\" already: remove it, or choose another name");
    const std::string configured =
        view.ReadString(kFilesDatabase.Section, kFilesDatabase.Key, kFilesDatabase.Default);
    const std::string database = !request.Database.empty() ? request.Database : configured;
    TFileStatus status;
    if (database.empty() || !FileStatus(database, true, status) || status.Kind != TFileKind::Folder)
        throw Exception("No database folder \"" + database +
                        "\": name an existing folder, or set Database in [_Files] of \"" +
                        config.FileName() + "\"");
    // A configuration without a database folder gets this one, so that the species loads.
    if (configured.empty()) {
        std::filesystem::path folder =
            std::filesystem::absolute(PathFromUtf8(database)).lexically_normal();
        if (!folder.has_filename() && folder != folder.root_path())
            folder = folder.parent_path();
        plan.Database = Utf8FromPath(folder);
    }
    plan.Levels = Joined(words, 0) + "_levels.txt";
    plan.Lines = words[0] + "," + Joined(words, 1);
    plan.LevelFile = JoinPath(database, plan.Levels);
    plan.LineTable = JoinPath(database, words[0] + "_" + Joined(words, 1) + ".txt");
    for (const std::string& file : {plan.LevelFile, plan.LineTable})
        if (FileStatus(file, false, status) && status.Kind != TFileKind::Missing)
            throw Exception("The file \"" + file +
                            "\" is there already: remove it, or choose another species name");

    const std::optional<double> weight = StandardAtomicWeight(words[0]);
    if (request.Mass) {
        if (!(*request.Mass > 0))
            throw Exception("Mass " + FloatToStr(*request.Mass) +
                            ": expected the atomic mass in u, "
                            "a number above 0");
        plan.Mass = *request.Mass;
    } else if (weight) {
        plan.Mass = *weight;
    } else {
        throw Exception(words[0] + " has no standard atomic weight: give the mass of its isotope");
    }
    plan.Import = ImportAsd(words[0], words[1], ReadFileBytes(request.LinesFile, kExportLimit),
                            request.LinesFile, ReadFileBytes(request.LevelsFile, kExportLimit),
                            request.LevelsFile);
    const TAsdImport& import = plan.Import;
    if (import.Lines.empty())
        throw Exception("No line of \"" + request.LinesFile +
                        "\" has a wavelength, an A value and the energies of both levels: there "
                        "is nothing to import");

    const auto levels = static_cast<std::int32_t>(import.Levels.size());
    plan.Boltzmax = request.Boltzmax.value_or(import.GroundLevels);
    if (plan.Boltzmax < 1 || plan.Boltzmax > levels)
        throw Exception("Boltzmax " + std::to_string(plan.Boltzmax) +
                        ": expected a number of levels from 1 to the " + std::to_string(levels) +
                        " levels kept");

    plan.Notes.push_back("Lines: " + KeptText(import.Lines.size(), import.LinesLeftOut) +
                         "; wavelengths in " + (import.Vacuum ? "vacuum" : "air") + ".");
    plan.Notes.push_back("Levels: " + KeptText(import.Levels.size(), import.LevelsLeftOut) +
                         "; the first, " + import.Levels.front().Configuration + " " +
                         import.Levels.front().Term + " J=" + import.Levels.front().JText +
                         ", is the reference level of n_1.");
    plan.Notes.push_back("m = " + FloatToStr(plan.Mass) + " u" +
                         (request.Mass ? std::string(" as given.")
                                       : ": the standard atomic weight of " + words[0] + "."));
    std::string boltzmax = "Boltzmax = " + std::to_string(plan.Boltzmax);
    if (request.Boltzmax)
        boltzmax += " as given.";
    else if (import.ExcitedConfiguration.empty())
        boltzmax += ": every level, all of " + import.GroundConfiguration + ".";
    else
        boltzmax += ": the levels of " + import.GroundConfiguration +
                    ", below the first excited configuration " + import.ExcitedConfiguration + ".";
    plan.Notes.push_back(boltzmax);
    if (!plan.Database.empty())
        plan.Notes.push_back("Database = " + plan.Database + ": the configuration named none.");
    return plan;
}

void WriteSpecies(TConfigStore& config, const TSpeciesPlan& plan) {
    const std::vector<TFileContent> files = {{plan.LevelFile, AsdLevelFileText(plan.Import)},
                                             {plan.LineTable, AsdLineTableText(plan.Import)}};
    const bool written = config.Update(
        [&](TIniText& ini) {
            ini.SetValue(plan.Section, kSpeciesLevels.Key, plan.Levels);
            ini.SetValue(plan.Section, kSpeciesLines.Key, plan.Lines);
            ini.SetValue(plan.Section, "m", FloatToStr(plan.Mass));
            ini.SetValue(plan.Section, "Boltzmax", std::to_string(plan.Boltzmax));
            ini.SetValue(plan.Section, "Wavelengths", plan.Import.Vacuum ? "vacuum" : "air");
            if (!plan.Database.empty())
                ini.SetValue(kFilesDatabase.Section, kFilesDatabase.Key, plan.Database);
        },
        files);
    if (!written)
        throw Exception(config.Problem());
}

std::optional<double> StandardAtomicWeight(const std::string& symbol) {
    // IUPAC standard atomic weights 2013 (Meija et al., Pure Appl. Chem. 88, 265 (2016)); for an
    // element whose weight is an interval the conventional value; Th, Pa and U by their
    // long-lived isotopes' weights as in that table.
    static const std::map<std::string, double> kWeights = {
        {"H", 1.008},        {"He", 4.002602},     {"Li", 6.94},        {"Be", 9.0121831},
        {"B", 10.81},        {"C", 12.011},        {"N", 14.007},       {"O", 15.999},
        {"F", 18.998403163}, {"Ne", 20.1797},      {"Na", 22.98976928}, {"Mg", 24.305},
        {"Al", 26.9815385},  {"Si", 28.085},       {"P", 30.973761998}, {"S", 32.06},
        {"Cl", 35.45},       {"Ar", 39.948},       {"K", 39.0983},      {"Ca", 40.078},
        {"Sc", 44.955908},   {"Ti", 47.867},       {"V", 50.9415},      {"Cr", 51.9961},
        {"Mn", 54.938044},   {"Fe", 55.845},       {"Co", 58.933194},   {"Ni", 58.6934},
        {"Cu", 63.546},      {"Zn", 65.38},        {"Ga", 69.723},      {"Ge", 72.630},
        {"As", 74.921595},   {"Se", 78.971},       {"Br", 79.904},      {"Kr", 83.798},
        {"Rb", 85.4678},     {"Sr", 87.62},        {"Y", 88.90584},     {"Zr", 91.224},
        {"Nb", 92.90637},    {"Mo", 95.95},        {"Ru", 101.07},      {"Rh", 102.90550},
        {"Pd", 106.42},      {"Ag", 107.8682},     {"Cd", 112.414},     {"In", 114.818},
        {"Sn", 118.710},     {"Sb", 121.760},      {"Te", 127.60},      {"I", 126.90447},
        {"Xe", 131.293},     {"Cs", 132.90545196}, {"Ba", 137.327},     {"La", 138.90547},
        {"Ce", 140.116},     {"Pr", 140.90766},    {"Nd", 144.242},     {"Sm", 150.36},
        {"Eu", 151.964},     {"Gd", 157.25},       {"Tb", 158.92535},   {"Dy", 162.500},
        {"Ho", 164.93033},   {"Er", 167.259},      {"Tm", 168.93422},   {"Yb", 173.054},
        {"Lu", 174.9668},    {"Hf", 178.49},       {"Ta", 180.94788},   {"W", 183.84},
        {"Re", 186.207},     {"Os", 190.23},       {"Ir", 192.217},     {"Pt", 195.084},
        {"Au", 196.966569},  {"Hg", 200.592},      {"Tl", 204.38},      {"Pb", 207.2},
        {"Bi", 208.98040},   {"Th", 232.0377},     {"Pa", 231.03588},   {"U", 238.02891}};
    const auto found = kWeights.find(symbol);
    return found == kWeights.end() ? std::nullopt : std::optional<double>(found->second);
}

} // namespace zelt
