#include "core/ServiceRules.h"

#include <cstdint>
#include <string>

namespace vkr {

std::string instanceSemaphoreName(bool global, std::string_view instancePath, int counter) {
    std::string name = global ? "Global\\" : "Local\\";
    std::string path;
    for (char c : instancePath) path.push_back(c == '\\' || c == ' ' ? '_' : c);
    const std::string suffix = counter >= 0 ? std::to_string(counter) : std::string();
    if (name.size() + path.size() + suffix.size() > kMaxObjectNameLength) {
        // Windows refuses an object name beyond MAX_PATH, and every run would then believe
        // itself the first: the path's end (where executables differ) behind a hash of the
        // whole path keeps the name unique and within the limit.
        std::uint64_t hash = 14695981039346656037ull; // FNV-1a
        for (char c : instancePath) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 1099511628211ull;
        }
        std::string hex(16, '0');
        for (std::size_t i = 0; i < 16; ++i) hex[15 - i] = "0123456789abcdef"[(hash >> (4 * i)) & 0xF];
        const std::size_t room = kMaxObjectNameLength - name.size() - hex.size() - 1 - suffix.size();
        path = hex + "_" + path.substr(path.size() - room);
    }
    return name + path + suffix;
}

std::wstring quoteForChild(std::wstring_view token) {
    const bool blank = token.find(L' ') != std::wstring_view::npos;
    const bool doubleQuote = token.find(L'"') != std::wstring_view::npos;
    const bool singleQuote = token.find(L'\'') != std::wstring_view::npos;
    if (!token.empty() && !blank && !doubleQuote && !singleQuote) return std::wstring(token);
    if (doubleQuote && !singleQuote) return L"'" + std::wstring(token) + L"'";
    return L"\"" + std::wstring(token) + L"\"";
}

bool childCanReadBack(std::wstring_view token) noexcept {
    return token.find(L'"') == std::wstring_view::npos || token.find(L'\'') == std::wstring_view::npos;
}

std::wstring childCommandLine(const std::vector<std::wstring>& hostTokens, std::wstring_view serviceName,
                              const std::vector<std::wstring>& startArguments, std::wstring_view restartMarker) {
    std::wstring line;
    // The executable path: a blank or a single quotation mark in it would otherwise split it
    // or swallow the rest of the line when the child reads its command line.
    if (!hostTokens.empty()) line = quoteForChild(hostTokens.front());
    line += L" " + quoteForChild(serviceName);
    for (size_t i = 1; i < hostTokens.size(); ++i) line += L" " + quoteForChild(hostTokens[i]);
    for (const std::wstring& argument : startArguments) line += L" " + quoteForChild(argument);
    line += L" ";
    line += restartMarker;
    return line;
}

} // namespace vkr
