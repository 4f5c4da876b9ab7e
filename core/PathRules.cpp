#include "core/PathRules.h"

#include "core/Text.h"

#include <algorithm>

namespace vkr {

namespace {

template <class Char>
bool isRelativeAny(std::basic_string_view<Char> path) noexcept {
    if (path.size() < 3) return true;
    if (path[0] == Char('"')) {
        if (path.size() < 4) return true;
        path.remove_prefix(1);
    }
    if (path[1] == Char(':') && path[2] == Char('\\')) return false;
    return !(path[0] == Char('\\') && path[1] == Char('\\'));
}

template <class Char>
bool isDriveRootAny(std::basic_string_view<Char> path) noexcept {
    if (path.size() < 2) return false;
    const std::basic_string_view<Char> rest = path.substr(1);
    static constexpr std::string_view roots[] = {":\\", ":\\.", ":\\.\\."};
    for (std::string_view root : roots) {
        if (rest.size() == root.size() &&
            std::equal(root.begin(), root.end(), rest.begin(), [](char a, Char b) { return Char(a) == b; }))
            return true;
    }
    return false;
}

template <class Char>
std::basic_string<Char> directoryPartAny(std::basic_string_view<Char> path) {
    const std::size_t slash = path.find_last_of(Char('\\'));
    return std::basic_string<Char>(slash == std::basic_string_view<Char>::npos ? std::basic_string_view<Char>()
                                                                              : path.substr(0, slash + 1));
}

} // namespace

bool isRelative(std::string_view path) noexcept { return isRelativeAny(path); }
bool isRelative(std::wstring_view path) noexcept { return isRelativeAny(path); }
bool isDriveRoot(std::string_view path) noexcept { return isDriveRootAny(path); }
bool isDriveRoot(std::wstring_view path) noexcept { return isDriveRootAny(path); }

bool endsWithExe(std::string_view path) noexcept {
    return path.size() >= 5 && endsWithIgnoringAsciiCase(path, std::string_view(".exe"));
}

void collapseBackslashRuns(std::wstring& path) {
    std::size_t in = 0;
    std::size_t out = 0;
    std::size_t leading = 0;
    while (leading < path.size() && path[leading] == L'\\') ++leading;
    if (leading >= 2) {
        path[out++] = L'\\';
        path[out++] = L'\\';
        in = leading;
    }
    for (; in < path.size(); ++in) {
        if (path[in] == L'\\' && out > 0 && path[out - 1] == L'\\') continue;
        path[out++] = path[in];
    }
    path.resize(out);
}

std::string directoryPart(std::string_view path) { return directoryPartAny(path); }
std::wstring directoryPart(std::wstring_view path) { return directoryPartAny(path); }

} // namespace vkr
