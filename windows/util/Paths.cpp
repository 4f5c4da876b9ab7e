#include "util/Paths.h"

namespace vkr {

std::string resolvePath(std::string_view path, const char* baseFile) {
    std::string out;
    if (isRelative(path)) out = baseFile ? directoryPart(fullPath(std::string(baseFile))) : executableDirectory8();
    out.append(path);
    collapseBackslashes(out);
    return out;
}

std::wstring resolvePath(std::wstring_view path, DirectoryForm form, const wchar_t* baseFile) {
    std::wstring out;
    if (isRelative(path)) {
        if (baseFile)
            out = directoryPart(fullPath(std::wstring(baseFile)));
        else
            out = form == DirectoryForm::LongWide ? executableDirectoryLong() : executableDirectoryNarrowWidened();
    }
    out.append(path);
    collapseBackslashes(out);
    return out;
}

std::string canonicalPath(std::string_view path, LetterCase letterCase) {
    std::string resolved = resolvePath(path);
    std::string full = fullPath(resolved);
    if (full.empty()) full = std::move(resolved);
    if (letterCase == LetterCase::Lowered) lowerCasePath(full);
    collapseBackslashes(full);
    return full;
}

std::wstring canonicalPath(std::wstring_view path, DirectoryForm form, LetterCase letterCase) {
    std::wstring resolved = resolvePath(path, form);
    std::wstring full = fullPath(resolved);
    if (full.empty()) full = std::move(resolved);
    if (letterCase == LetterCase::Lowered) lowerAsciiInPlace(full);
    collapseBackslashes(full);
    return full;
}

} // namespace vkr
