// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/paths.h"

namespace zelt {

std::filesystem::path PathFromUtf8(const std::string& fileName) {
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(fileName.data()), fileName.size()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    const bool delimited = !folder.empty() && (folder.back() == '/' || folder.back() == '\\');
    return delimited ? folder + name : folder + "/" + name;
}

std::size_t NameStart(const std::string& fileName) {
#ifdef _WIN32
    const auto slash = fileName.find_last_of("/\\");
#else
    const auto slash = fileName.find_last_of('/');
#endif
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string FolderOfFile(const std::string& fileName) {
    const std::size_t start = NameStart(fileName);
    if (start == 0)
        return ".";
    return start == 1 ? fileName.substr(0, 1) : fileName.substr(0, start - 1);
}

} // namespace zelt
