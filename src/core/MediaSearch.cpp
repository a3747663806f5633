#include "core/MediaSearch.h"

#include <cerrno>
#include <sys/stat.h>
#include <tuple>
#include <unordered_map>

namespace prismeta {

namespace fs = std::filesystem;

namespace {

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// "C:\..." or "C:/..." (a drive), or "\\server\..." (a share).
bool writtenWithDrive(std::string_view path) {
    const bool drive = path.size() >= 3 && isAsciiLetter(path[0]) && path[1] == ':' &&
                       (path[2] == '\\' || path[2] == '/');
    const bool share = path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
    return drive || share;
}

bool isRegularFile(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The components of a path as strings, the file name last.
std::vector<std::string> componentsOf(const fs::path& path) {
    std::vector<std::string> parts;
    for (const fs::path& part : path) {
        parts.push_back(part.string());
    }
    return parts;
}

// How many components the two lists share at their ends.
std::size_t commonTail(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::size_t n = 0;
    while (n < a.size() && n < b.size() && a[a.size() - 1 - n] == b[b.size() - 1 - n]) {
        ++n;
    }
    return n;
}

} // namespace

std::vector<std::string> storedPathComponents(std::string_view storedPath) {
    if (storedPath.empty() || storedPath.size() > maxStoredPathBytes ||
        storedPath.find('\0') != std::string_view::npos) {
        return {};
    }
    const bool foreign = writtenWithDrive(storedPath);
    const auto isSeparator = [foreign](char c) { return c == '/' || (foreign && c == '\\'); };
    if (isSeparator(storedPath.back())) {
        return {};
    }
    if (foreign && storedPath[1] == ':') {
        storedPath.remove_prefix(2); // the drive letter means nothing here
    }

    std::vector<std::string> parts;
    std::string_view last;
    std::size_t start = 0;
    while (start <= storedPath.size()) {
        std::size_t end = start;
        while (end < storedPath.size() && !isSeparator(storedPath[end])) {
            ++end;
        }
        const std::string_view part = storedPath.substr(start, end - start);
        last = part;
        if (part == "..") {
            parts.clear(); // what lay above is not under the folder
        } else if (!part.empty() && part != ".") {
            parts.emplace_back(part);
        }
        start = end + 1;
    }
    if (last == "." || last == ".." || parts.empty()) {
        return {};
    }
    if (parts.size() > maxTrailingComponents) {
        parts.erase(parts.begin(), parts.end() - maxTrailingComponents);
    }
    return parts;
}

std::vector<fs::path> relinkCandidates(std::string_view storedPath, const fs::path& folder) {
    const std::vector<std::string> parts = storedPathComponents(storedPath);
    std::vector<fs::path> candidates;
    if (folder.empty()) {
        return candidates;
    }
    candidates.reserve(parts.size());
    for (std::size_t first = 0; first < parts.size(); ++first) {
        fs::path candidate = folder;
        for (std::size_t i = first; i < parts.size(); ++i) {
            candidate /= parts[i];
        }
        candidates.push_back(std::move(candidate));
    }
    return candidates;
}

bool isMissing(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        return false;
    }
    return errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG || errno == ELOOP;
}

std::optional<fs::path> findUnderFolder(std::string_view storedPath, const fs::path& folder) {
    for (fs::path& candidate : relinkCandidates(storedPath, folder)) {
        if (isRegularFile(candidate)) {
            return std::move(candidate);
        }
    }
    return std::nullopt;
}

std::vector<std::optional<FolderMatch>>
searchFolderTree(const fs::path& folder, const std::vector<std::string>& storedPaths,
                 const std::atomic<bool>* cancel, const FolderSearchLimits& limits) {
    std::vector<std::optional<FolderMatch>> results(storedPaths.size());
    std::vector<std::vector<std::string>> wanted(storedPaths.size());
    std::unordered_map<std::string, std::vector<std::size_t>> byName;
    for (std::size_t i = 0; i < storedPaths.size(); ++i) {
        wanted[i] = storedPathComponents(storedPaths[i]);
        if (!wanted[i].empty()) {
            byName[wanted[i].back()].push_back(i);
        }
    }
    if (byName.empty() || folder.empty()) {
        return results;
    }
    // The depth of each result, for the tie rule.
    std::vector<std::size_t> bestDepth(storedPaths.size(), 0);

    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied,
                                        error);
    std::size_t entries = 0;
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (++entries > limits.maxEntries ||
            (cancel != nullptr && cancel->load(std::memory_order_relaxed))) {
            break;
        }
        const std::size_t depth = static_cast<std::size_t>(it.depth());
        const fs::directory_entry& entry = *it;
        std::error_code typeError;
        if (entry.is_directory(typeError)) {
            if (depth + 1 > limits.maxDepth) {
                it.disable_recursion_pending();
            }
            continue;
        }
        const auto named = byName.find(entry.path().filename().string());
        if (named == byName.end() || !entry.is_regular_file(typeError)) {
            continue;
        }
        // The file's components below the searched folder.
        std::vector<std::string> below = componentsOf(entry.path());
        below.erase(below.begin(), below.end() - static_cast<std::ptrdiff_t>(depth + 1));
        for (const std::size_t index : named->second) {
            const std::size_t matched = commonTail(below, wanted[index]);
            std::optional<FolderMatch>& best = results[index];
            if (!best || matched > best->matchedComponents) {
                best = FolderMatch{entry.path(), matched, 0};
                bestDepth[index] = depth;
                continue;
            }
            if (matched < best->matchedComponents) {
                continue;
            }
            ++best->ties;
            if (std::tie(depth, entry.path().native()) <
                std::tie(bestDepth[index], best->file.native())) {
                best->file = entry.path();
                bestDepth[index] = depth;
            }
        }
    }
    return results;
}

} // namespace prismeta
