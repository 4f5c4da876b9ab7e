#include "core/ServiceRules.h"

#include <string>

namespace vkr {

std::string instanceSemaphoreName(bool global, std::string_view instancePath, int counter) {
    std::string name = global ? "Global\\" : "Local\\";
    for (char c : instancePath) name.push_back(c == '\\' || c == ' ' ? '_' : c);
    if (counter >= 0) name += std::to_string(counter);
    return name;
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
