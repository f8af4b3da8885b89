// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/listing.h"

#include "app/series.h"
#include "common/textfile.h"
#include "spectrum/delimited.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <filesystem>

namespace zelt {

namespace {

namespace fs = std::filesystem;

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Without regard to case; names equal so are ordered by their bytes, so the order is one.
bool CaselessLess(const std::string& a, const std::string& b) {
    const auto caseless = [](char x, char y) { return Lower(x) < Lower(y); };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), caseless))
        return true;
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), caseless))
        return false;
    return a < b;
}

bool IsMeasurementName(const std::string& name) {
    static const std::string extension = ".txt";
    if (name.empty() || name.front() == '.' || name.size() <= extension.size())
        return false;
    return std::equal(extension.begin(), extension.end(), name.end() - 4,
                      [](char x, char y) { return x == Lower(y); });
}

// The head of a file that decides whether it is a raw spectrum: some thousand pixels' rows.
constexpr std::size_t kHeadBytes = 64 * 1024;

// The bytes of the file's first kHeadBytes, up to the end of their last whole line.
std::string FileHead(const std::string& file) {
    TTextReader reader;
    reader.Open(file, kTableLimit);
    std::string head;
    while (head.size() < kHeadBytes && !reader.Eof())
        head += reader.ReadChar();
    if (!reader.Eof())
        head.erase(head.rfind('\n') == std::string::npos ? 0 : head.rfind('\n') + 1);
    return head;
}

// A spectrum's export: one of kSpectrumExtensions in any case, not hidden, and not the table an
// import writes beside its measurement file (NAME.lines.tsv).
bool IsSpectrumName(const std::string& name) {
    const std::string lower = LowerCase(name);
    return std::any_of(kSpectrumExtensions.begin(), kSpectrumExtensions.end(),
                       [&](const std::string& e) { return lower.ends_with(e); }) &&
           !lower.ends_with(".lines.tsv") && !name.starts_with('.');
}

// The regular files of a folder whose names `takes`, sorted without regard to case; a folder
// that cannot be read has none.
std::vector<std::string> NamesIn(const std::string& folder, bool (*takes)(const std::string&)) {
    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator entries(PathFromUtf8(folder), error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        const std::string name = Utf8FromPath(entries->path().filename());
        std::error_code ignored;
        if (takes(name) && entries->is_regular_file(ignored))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), CaselessLess);
    return names;
}

// Each path that is a folder gives its files whose names `takes`, any other path stands for
// itself; all in the natural order of their names.
std::vector<std::string> FilesOf(const std::vector<std::string>& paths,
                                 bool (*takes)(const std::string&)) {
    std::vector<std::string> files;
    for (const std::string& path : paths) {
        std::error_code error;
        if (!fs::is_directory(PathFromUtf8(path), error)) {
            files.push_back(path);
            continue;
        }
        for (const std::string& name : NamesIn(path, takes))
            files.push_back(JoinPath(path, name));
    }
    SortNaturally(files);
    return files;
}

} // namespace

bool IsSpectrumExport(const std::string& file) {
    TDelimitedTable table;
    try {
        table = ParseDelimited(FileHead(file), file);
    } catch (const std::exception&) {
        return false; // a file that reads as no table is shown, and its read says why
    }
    if (table.Columns.size() < 2 || table.Rows() < kMinSpectrumPixels)
        return false;
    const std::vector<double>& x = table.Columns[0];
    std::vector<double> steps;
    for (std::size_t i = 1; i < x.size(); ++i)
        steps.push_back(x[i] - x[i - 1]);
    const double sign = steps.front() < 0 ? -1 : 1;
    for (double& step : steps)
        step *= sign;
    std::vector<double> sorted = steps;
    const auto middle = static_cast<std::ptrdiff_t>(sorted.size() / 2);
    std::nth_element(sorted.begin(), sorted.begin() + middle, sorted.end());
    const double median = sorted[sorted.size() / 2];
    return median > 0 && std::all_of(steps.begin(), steps.end(), [median](double step) {
               return step >= median / 2 && step <= median * 2;
           });
}

std::vector<std::string> SpeciesSections(const TConfigStore& store) {
    std::vector<std::string> species;
    for (const std::string& section : store.ReadSections())
        if (IsSpeciesSection(section))
            species.push_back(section);
    return species;
}

std::vector<std::string> MeasurementNames(const std::string& folder) {
    std::vector<std::string> names = NamesIn(folder, IsMeasurementName);
    std::erase_if(names, [&folder](const std::string& name) {
        return IsSpectrumExport(JoinPath(folder, name));
    });
    // Names that compare equal in the natural order keep their caseless order.
    SortNaturally(names);
    return names;
}

std::string FolderOf(const std::string& file) {
    std::error_code error;
    fs::path path = fs::absolute(PathFromUtf8(file), error);
    if (error)
        path = PathFromUtf8(file);
    return Utf8FromPath(path.lexically_normal().parent_path());
}

std::string FileNameOf(const std::string& file) {
    return Utf8FromPath(PathFromUtf8(file).filename());
}

std::vector<std::string> BatchFiles(const std::vector<std::string>& paths) {
    return FilesOf(paths, IsMeasurementName);
}

const std::vector<std::string> kSpectrumExtensions = {".txt", ".csv", ".asc",
                                                      ".dat", ".tsv", ".trt"};

std::vector<std::string> SpectrumFiles(const std::vector<std::string>& paths) {
    return FilesOf(paths, IsSpectrumName);
}

void SortNaturally(std::vector<std::string>& files) {
    // Each name is read once, not at each of the sort's comparisons: thousands of files are
    // sorted in a few milliseconds before a batch starts.
    std::vector<std::pair<TNamePattern, std::string>> named;
    named.reserve(files.size());
    for (std::string& file : files)
        named.emplace_back(NamePattern(FileNameOf(file)), std::move(file));
    std::stable_sort(named.begin(), named.end(),
                     [](const auto& a, const auto& b) { return NaturalLess(a.first, b.first); });
    for (std::size_t i = 0; i < files.size(); ++i)
        files[i] = std::move(named[i].second);
}

} // namespace zelt
