// A VM options file's bytes through the pure line rules, as the launcher reads such a file:
// the byte-order mark of the first line, the line text (line end, blanks, comments), the
// UTF-8 or byte-wise widening, the option entry's kind; and each line's text as configured
// VM parameters, tokenized with the include keyword joined to its path.
#include "FuzzSupport.h"

#include "core/OptionRules.h"
#include "core/Text.h"
#include "core/Tokenizer.h"

#include <cstdint>

using namespace vkr;
using vkr::fuzz::expect;

namespace {

constexpr std::wstring_view kIncludeKeyword = L"-include-options";

// Code units as code points: on this host wchar_t holds a whole one.
std::string encodeUtf8(std::wstring_view text) {
    std::string out;
    for (wchar_t c : text) appendUtf8(out, static_cast<char32_t>(c));
    return out;
}

void expectUtf8Decoding(std::string_view text, const std::wstring& decoded) {
    expect(decoded.size() <= text.size(), "decoding never makes more characters than bytes");
    bool replaced = false;
    for (wchar_t c : decoded) {
        const auto code = static_cast<std::uint32_t>(c);
        expect(code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF), "decoding yields only characters");
        replaced = replaced || code == 0xFFFD;
    }
    // Without a replacement every byte was part of a valid sequence: writing the characters
    // out again gives the bytes back.
    if (!replaced) expect(encodeUtf8(decoded) == text, "valid UTF-8 decodes without loss");
}

void expectEntry(std::wstring_view entry) {
    const OptionEntry classified = classifyOptionEntry(entry);
    const std::size_t keyword = entry.size() - classified.value.size();
    expect(classified.value.data() + classified.value.size() == entry.data() + entry.size(),
           "an entry's value is its tail");
    if (classified.kind == OptionEntryKind::Plain) {
        expect(keyword == 0, "a plain option is the whole entry");
        for (std::wstring_view prefix : {L"-include-options ", L"-classpath ", L"-classpath/p ", L"-classpath/a "})
            expect(!startsWith(entry, prefix), "an entry with a keyword is not plain");
    } else {
        expect(keyword > 0 && entry[keyword - 1] == L' ', "a keyword ends with its blank");
    }
}

void expectJoinedTokens(const ArgumentVector& tokens) {
    const std::vector<std::wstring> entries = joinIncludeTokens(tokens);
    std::size_t t = 0;
    for (const std::wstring& entry : entries) {
        expect(t < tokens.size(), "no entry without a token");
        if (tokens[t] == kIncludeKeyword && t + 1 < tokens.size()) {
            expect(entry == tokens[t] + L" " + tokens[t + 1], "the include keyword takes the next token as its path");
            expect(classifyOptionEntry(entry).kind == OptionEntryKind::Include, "a joined include is an include");
            t += 2;
        } else {
            expect(entry == tokens[t], "any other token is an entry of its own");
            ++t;
        }
    }
    expect(t == tokens.size(), "every token is in an entry");
}

void processLine(std::string_view raw, bool utf8) {
    const std::optional<std::string_view> text = vmOptionsLineText(raw);
    if (!text) return;
    expect(text->data() >= raw.data() && text->data() + text->size() <= raw.data() + raw.size(),
           "a line's text lies inside the line");
    expect(!text->empty() && text->front() != ' ' && text->front() != '#' && text->back() != ' ',
           "a line's text is trimmed and no comment");
    const std::wstring entry = utf8 ? decodeUtf8(*text) : widenBytes(*text);
    if (utf8) expectUtf8Decoding(*text, entry);
    expectEntry(entry);
    ArgumentVector tokens;
    tokenizeCommandLine(entry, tokens);
    expectJoinedTokens(tokens);
}

// The file's lines as text mode reads them, each with its line feed.
template <class Visit>
void forEachLine(std::string_view file, Visit visit) {
    for (std::size_t start = 0; start < file.size();) {
        std::size_t end = file.find('\n', start);
        end = end == std::string_view::npos ? file.size() : end + 1;
        visit(file.substr(start, end - start));
        start = end;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view file = vkr::fuzz::bytesOf(data, size);
    bool first = true;
    bool utf8 = false;
    forEachLine(file, [&](std::string_view line) {
        if (first && startsWithUtf8Mark(line)) {
            // The mark declares the file UTF-8 and is no part of the first option.
            utf8 = true;
            line.remove_prefix(kUtf8MarkLength);
        }
        first = false;
        processLine(line, utf8);
    });
    // Every line once more with the other widening, so both meet every kind of line.
    const bool other = !utf8;
    forEachLine(file, [other](std::string_view line) { processLine(line, other); });
    return 0;
}
