#include "config/ConfigStore.h"

#include "config/ErrorReporting.h"
#include "config/Locale.h"
#include "util/DiagnosticLog.h"
#include "util/Paths.h"
#include "util/ProcessState.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

namespace vkr {

namespace {

std::wstring toWide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

void storeMessages(const std::vector<MessageEntry>& messages) {
    for (const MessageEntry& m : messages) processState().configMessages[m.key] = toWide(m.text);
}

size_t copyCut(int key, std::string_view value, char* buffer, size_t capacity) {
    if (capacity == 0) return 0;
    size_t n = value.size();
    if (n > capacity - 1) {
        logError(L"config string %d truncated (%d %d)", key, capacity, n);
        n = capacity - 1;
    }
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return n;
}

std::string_view textValue(int key) {
    const auto& texts = processState().configTexts;
    auto it = texts.find(key);
    return it == texts.end() ? std::string_view() : std::string_view(it->second);
}

void logPeWalk(const PeWalk& walk) {
    if (walk.reached >= PeWalk::Stage::SectionCount) logMessage(L"number of sections: %d", walk.sections);
    if (walk.reached >= PeWalk::Stage::OptionalHeaderSize) {
        logMessage(L"size of optional headers: %d", walk.optionalHeaderSize);
        logMessage(L"resSectionTableStart: %d", static_cast<int>(walk.lastSectionHeader));
    }
    if (walk.reached >= PeWalk::Stage::RawData)
        logMessage(L"rawDataSize: %d, rawDataOffset: %d", walk.rawDataSize, walk.rawDataOffset);
}

} // namespace

bool LauncherFile::open(const std::wstring& path) {
    window_.clear();
    handle_.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle_) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle_.get(), &size)) {
        const DWORD error = GetLastError();
        handle_.reset();
        SetLastError(error);
        return false;
    }
    size_ = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

std::size_t LauncherFile::read(std::uint64_t offset, void* destination, std::size_t count) {
    lastReadError_ = 0;
    if (!handle_ || offset >= size_) return 0;
    constexpr std::size_t kWindowBytes = 64 * 1024;
    if (count < kWindowBytes) {
        const bool inside = offset >= windowOffset_ && offset + count <= windowOffset_ + window_.size();
        if (!inside) {
            window_.resize(kWindowBytes);
            window_.resize(readFromFile(offset, window_.data(), kWindowBytes));
            windowOffset_ = offset;
        }
        if (offset >= windowOffset_ && offset < windowOffset_ + window_.size()) {
            const auto start = static_cast<std::size_t>(offset - windowOffset_);
            const std::size_t available = std::min(count, window_.size() - start);
            std::memcpy(destination, window_.data() + start, available);
            return available;
        }
        return 0;
    }
    return readFromFile(offset, destination, count);
}

std::size_t LauncherFile::readFromFile(std::uint64_t offset, void* destination, std::size_t count) {
    LARGE_INTEGER target;
    target.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(handle_.get(), target, nullptr, FILE_BEGIN)) {
        lastReadError_ = GetLastError();
        return 0;
    }
    auto* bytes = static_cast<char*>(destination);
    std::size_t total = 0;
    while (total < count) {
        DWORD got = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(count - total, 1u << 20));
        if (!ReadFile(handle_.get(), bytes + total, wanted, &got, nullptr)) {
            lastReadError_ = GetLastError();
            break;
        }
        if (got == 0) break;
        total += got;
    }
    return total;
}

void endForReadFailure(const LauncherFile& file, const ReadFailure& failure) {
    switch (failure.primitive) {
    case BlockPrimitive::Int:
        if (failure.problem == ReadProblem::ShortRead)
            logMessage(L"error %d %d\n", file.lastReadError(), failure.got);
        else
            logError(L"count %d does not fit the file (%I64d bytes left)", failure.value, failure.remaining);
        fatalText(L"Internal Error: readInt");
    case BlockPrimitive::Long:
        logMessage(L"error %d\n", file.lastReadError());
        fatalText(L"Internal Error: readLong");
    case BlockPrimitive::Short:
        if (failure.problem == ReadProblem::NoSections)
            logError(L"no section table");
        else
            logMessage(L"error %d\n", file.lastReadError());
        fatalText(L"Internal Error: readShort");
    case BlockPrimitive::String:
        fatalText(L"Internal Error: readString");
    case BlockPrimitive::WString:
        fatalText(L"Internal Error: readWString");
    case BlockPrimitive::Magic:
        fatalText(L"Internal Error: magic");
    }
    fatalText(L"Internal Error: readInt");
}

void openLauncherFileOrEnd(LauncherFile& file) {
    if (file.open(executableLongPath())) return;
    const DWORD error = GetLastError();
    logError(L"Could not open %p %d %s", static_cast<const void*>(INVALID_HANDLE_VALUE), error, executableLongPath());
    fatalText(L"Error opening media file.");
}

void loadConfigurationFrom(LauncherFile& file) {
    BlockReader reader(file, 0);
    PeWalk walk;
    const bool found = walkToBlock(reader, walk);
    logPeWalk(walk);
    if (!found) endForReadFailure(file, reader.failure());

    BlockContents contents;
    if (!readBlockHead(reader, contents)) endForReadFailure(file, reader.failure());
    ProcessState& state = processState();
    for (TextEntry& t : contents.texts) state.configTexts[t.key] = std::move(t.value);
    storeMessages(contents.messages);

    selectLocale();

    if (!readLocaleGroups(reader, contents)) endForReadFailure(file, reader.failure());
    // Groups apply in file order: of two that set the same key, the later one wins.
    for (const LocaleGroup& group : contents.groups)
        if (localeGroupApplies(state.locale, group.prefix)) storeMessages(group.messages);

    state.includedFilesPosition = static_cast<std::int32_t>(reader.position());
    file.close();

    const std::int32_t kind = configInt(107);
    if (kind != 1 && kind != 5) setErrorOutput(ErrorOutput::Console);
}

void loadConfiguration() {
    LauncherFile file;
    openLauncherFileOrEnd(file);
    loadConfigurationFrom(file);
}

std::int32_t includedFilesPosition() noexcept { return processState().includedFilesPosition; }

size_t configText(int key, char* buffer, size_t capacity) { return copyCut(key, textValue(key), buffer, capacity); }

std::string configTextCopy(int key) { return std::string(textValue(key)); }

size_t configWideText(int key, wchar_t* buffer, size_t capacity) {
    if (capacity == 0) return 0;
    const std::string_view value = textValue(key);
    // Cut as the 8-bit copy is, and said as loudly: a cut argument list is a lost argument.
    if (value.size() > capacity - 1) logError(L"config string %d truncated (%d %d)", key, capacity, value.size());
    const size_t n = std::min(value.size(), capacity - 1);
    for (size_t i = 0; i < n; ++i) buffer[i] = static_cast<unsigned char>(value[i]);
    buffer[n] = L'\0';
    return n;
}

std::wstring configWideText(int key) { return widenBytes(textValue(key)); }

bool localeGroupApplies(std::string_view locale, std::string_view prefix) noexcept {
    return locale.substr(0, prefix.size()) == prefix;
}

std::int32_t configInt(int key) {
    std::vector<char> buffer(kMaxPath);
    configText(key, buffer.data(), buffer.size());
    return parseConfigInt(buffer.data());
}

void rawMessageText(int id, wchar_t* buffer, size_t capacity) {
    if (capacity == 0) return;
    const auto& messages = processState().configMessages;
    auto it = messages.find(id);
    size_t n = 0;
    if (it != messages.end()) {
        n = std::min(it->second.size(), capacity - 1);
        std::wmemcpy(buffer, it->second.data(), n);
    }
    buffer[n] = L'\0';
}

std::wstring rawMessageText(int id) {
    const auto& messages = processState().configMessages;
    auto it = messages.find(id);
    return it == messages.end() ? std::wstring() : it->second;
}

size_t messageText(int id, wchar_t* buffer, size_t capacity) {
    if (capacity == 0) return 0;
    rawMessageText(id, buffer, capacity);
    if (buffer[0] != L'\0') return std::wcslen(buffer);
    return configWideText(id, buffer, capacity);
}

std::wstring messageText(int id) {
    std::wstring text = rawMessageText(id);
    return text.empty() ? configWideText(id) : text;
}

void clearConfigStoreForTest() {
    ProcessState& state = processState();
    state.configTexts.clear();
    state.configMessages.clear();
    state.includedFilesPosition = 0;
}

void setConfigTextForTest(int key, std::string_view value) { processState().configTexts[key] = std::string(value); }

void setMessageTextForTest(int id, std::wstring_view value) {
    processState().configMessages[id] = std::wstring(value);
}

} // namespace vkr
