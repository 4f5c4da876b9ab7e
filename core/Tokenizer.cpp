#include "core/Tokenizer.h"

namespace vkr {

size_t tokenizeCommandLine(std::wstring_view text, ArgumentVector& list) {
    std::wstring_view rest = text;
    while (!rest.empty()) {
        // Runs of blanks are dropped one blank at a time.
        if (rest.front() == L' ') {
            rest.remove_prefix(1);
            continue;
        }
        const size_t blank = rest.find(L' ');
        const size_t quote = rest.find_first_of(L"\"'");
        if (blank != std::wstring_view::npos && (quote == std::wstring_view::npos || blank < quote)) {
            list.emplace_back(rest.substr(0, blank));
            rest.remove_prefix(blank + 1);
            continue;
        }
        if (quote == std::wstring_view::npos) {
            list.emplace_back(rest);
            break;
        }
        // A quoted token: whatever stands before the opening quote, then the quoted stretch up
        // to the next quote of the same kind (or the end of the text), without the quotes.
        const wchar_t q = rest[quote];
        const size_t close = rest.find(q, quote + 1);
        std::wstring token(rest.substr(0, quote));
        if (close == std::wstring_view::npos) {
            token.append(rest.substr(quote + 1));
            list.push_back(std::move(token));
            break;
        }
        token.append(rest.substr(quote + 1, close - quote - 1));
        list.push_back(std::move(token));
        rest.remove_prefix(close + 1);
        // Only one blank after the closing quote is eaten here; text that follows the quote
        // directly starts the next token.
        if (!rest.empty() && rest.front() == L' ') rest.remove_prefix(1);
    }
    return 0;
}

} // namespace vkr
