// The launcher's tokenizer over any UTF-16 text (the input's bytes as little-endian units),
// against a character-by-character reading of its rules; and the service child's command
// line, which must come back through the tokenizer as the arguments it was built from.
#include "FuzzSupport.h"

#include "core/ServiceRules.h"
#include "core/Tokenizer.h"

#include <cstdint>

using namespace vkr;
using vkr::fuzz::expect;

namespace {

std::wstring unitsOf(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    for (std::size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    return text;
}

// The rules as a reader meets them one character at a time: a blank ends a bare token, a
// quote opens a stretch that only the same quote closes (the token ends there), text before
// an opening quote belongs to the token, an unclosed stretch runs to the end.
ArgumentVector referenceTokens(std::wstring_view text) {
    ArgumentVector tokens;
    enum class State { Between, Bare, Quoted } state = State::Between;
    wchar_t quote = 0;
    std::wstring token;
    for (wchar_t c : text) {
        if (state == State::Quoted) {
            if (c == quote) {
                tokens.push_back(token);
                state = State::Between;
            } else {
                token.push_back(c);
            }
        } else if (c == L' ') {
            if (state == State::Bare) tokens.push_back(token);
            state = State::Between;
        } else {
            if (state == State::Between) token.clear();
            if (c == L'"' || c == L'\'') {
                quote = c;
                state = State::Quoted;
            } else {
                token.push_back(c);
                state = State::Bare;
            }
        }
    }
    if (state != State::Between) tokens.push_back(token);
    return tokens;
}

void expectChildLineReadsBack(const ArgumentVector& tokens) {
    for (const std::wstring& token : tokens)
        if (!childCanReadBack(token)) return;
    // The host's command line is the tokens; the service name and the start arguments reuse
    // them so that every kind of token meets every position.
    const std::wstring serviceName = tokens.empty() ? L"" : tokens.back();
    const std::wstring marker = L"__vkr_restart";
    const std::wstring line = childCommandLine(tokens, serviceName, tokens, marker);
    ArgumentVector expected;
    if (!tokens.empty()) expected.push_back(tokens.front());
    expected.push_back(serviceName);
    expected.insert(expected.end(), tokens.begin() + (tokens.empty() ? 0 : 1), tokens.end());
    expected.insert(expected.end(), tokens.begin(), tokens.end());
    expected.push_back(marker);
    ArgumentVector read;
    tokenizeCommandLine(line, read);
    expect(read == expected, "the child reads back the arguments its command line was built from");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = unitsOf(data, size);

    // Tokens are appended: what the list held stays in front.
    ArgumentVector tokens{L"kept"};
    expect(tokenizeCommandLine(text, tokens) == 0, "nothing is left unsplit");
    expect(!tokens.empty() && tokens.front() == L"kept", "earlier tokens stay");
    tokens.erase(tokens.begin());

    ArgumentVector again;
    tokenizeCommandLine(text, again);
    expect(again == tokens, "tokenizing is deterministic");
    expect(tokens == referenceTokens(text), "the tokens follow the character-by-character rules");

    // Separating blanks and quote characters are dropped, nothing is added.
    std::size_t characters = 0;
    for (const std::wstring& token : tokens) characters += token.size();
    expect(characters <= text.size(), "no more characters come out than went in");

    expectChildLineReadsBack(tokens);
    return 0;
}
