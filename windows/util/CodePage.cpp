#include "util/CodePage.h"

#include "core/PathRules.h"
#include "core/Limits.h"

#include <windows.h>

namespace vkr {

namespace {

// An 8-bit path is edited in its UTF-16 form so that a second byte of a double-byte
// character is never mistaken for a backslash; it keeps its bytes when the edited form
// cannot be written back without loss.
template <class Edit>
void editThroughWide(std::string& path, Edit edit) {
    if (path.empty()) return;
    std::wstring wide = widenCodePage(path);
    if (wide.empty() || wide.size() >= kMaxPath) return;
    edit(wide);
    Narrowed how = Narrowed::Exactly;
    std::string back = narrowText(wide, &how);
    if (how == Narrowed::Exactly) path = std::move(back);
}

} // namespace

unsigned fileApiCodePage() noexcept { return AreFileApisANSI() ? CP_ACP : CP_OEMCP; }

std::string narrowText(std::wstring_view text, Narrowed* how) {
    if (how) *how = Narrowed::Exactly;
    if (text.empty()) return {};
    const UINT codePage = fileApiCodePage();
    const int length = static_cast<int>(text.size());
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    const char* defaultChar = "?";
    int size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, defaultChar, nullptr);
    if (size == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
        // Code pages such as UTF-8 take neither the flag nor a default character.
        flags = 0;
        defaultChar = nullptr;
        size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    }
    if (size > 0) {
        std::string out(static_cast<size_t>(size), '\0');
        BOOL lost = FALSE;
        const int written = WideCharToMultiByte(codePage, flags, text.data(), length, out.data(), size, defaultChar,
                                                defaultChar ? &lost : nullptr);
        if (written > 0) {
            out.resize(static_cast<size_t>(written));
            if (how && lost) *how = Narrowed::WithReplacements;
            return out;
        }
    }
    if (how) *how = Narrowed::WithReplacements;
    return {};
}

std::wstring widenCodePage(std::string_view text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(fileApiCodePage(), 0, text.data(), length, nullptr, 0);
    if (size <= 0) return {};
    std::wstring out(static_cast<size_t>(size), L'\0');
    const int written = MultiByteToWideChar(fileApiCodePage(), 0, text.data(), length, out.data(), size);
    out.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return out;
}

void lowerCasePath(std::string& path) { editThroughWide(path, [](std::wstring& w) { lowerAsciiInPlace(w); }); }
void collapseBackslashes(std::string& path) { editThroughWide(path, collapseBackslashRuns); }
void collapseBackslashes(std::wstring& path) { collapseBackslashRuns(path); }

} // namespace vkr
