#include "config/ConfigStore.h"

#include "config/ErrorReporting.h"
#include "config/Locale.h"
#include "util/DiagnosticLog.h"
#include "util/Paths.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>
#include <map>
#include <vector>

namespace vkr {

namespace {

std::map<std::int32_t, std::string> texts;
std::map<std::int32_t, std::wstring> messages;
std::int32_t blockEnd = 0;

std::int64_t remainingBytes(const LauncherFile& file) {
    std::int64_t position = launcherFilePosition(file);
    return position < 0 || position > file.size ? 0 : file.size - position;
}

// Reads up to count bytes; returns how many arrived. *ok is false when ReadFile itself failed,
// and the thread's last error then is that of the failing call.
DWORD readBytes(LauncherFile& file, void* data, DWORD count, bool* ok = nullptr) {
    DWORD got = 0;
    BOOL result = ReadFile(file.handle.get(), data, count, &got, nullptr);
    if (ok) *ok = result != FALSE;
    return result ? got : 0;
}

// Seeks for the PE walk. A target outside the file leaves the position at the end of the file,
// so that the primitive that reads there fails with its own log line and text instead of
// reading from a wrong place.
void seekForRead(LauncherFile& file, std::int64_t offset) {
    if (offset < 0 || offset > file.size || !seekLauncherFile(file, offset)) seekLauncherFile(file, file.size);
}

// A count of entries each at least minEntryBytes long: a negative count, or one that the rest
// of the file cannot hold, means a damaged block, not a reason to read on.
std::int32_t readCount(LauncherFile& file, std::int64_t minEntryBytes) {
    std::int32_t count = readInt(file);
    if (count < 0 || count > remainingBytes(file) / minEntryBytes) {
        logError(L"count %d does not fit the file (%I64d bytes left)", count, remainingBytes(file));
        fatalText(L"Internal Error: readInt");
    }
    return count;
}

void readMessages(LauncherFile& file, std::int32_t count, bool apply) {
    for (std::int32_t i = 0; i < count; ++i) {
        std::int32_t key = readInt(file);
        std::wstring text = readWString(file);
        if (apply) messages[key] = std::move(text);
    }
}

// Finds the end of the last section's raw data through the section headers (not the end of the
// file, so that a signature appended later does not move the block).
void seekToConfigurationBlock(LauncherFile& file) {
    seekForRead(file, 60);
    std::int64_t peHeader = readInt(file);
    seekForRead(file, peHeader + 6);
    int sections = static_cast<std::uint16_t>(readShort(file));
    logMessage(L"number of sections: %d", sections);
    if (sections == 0) {
        // Without a section there is no "last section": the walk would read the optional header.
        logError(L"no section table");
        fatalText(L"Internal Error: readShort");
    }
    seekForRead(file, peHeader + 20);
    int optionalSize = static_cast<std::uint16_t>(readShort(file));
    logMessage(L"size of optional headers: %d", optionalSize);
    std::int64_t sectionHeader = peHeader + 24 + optionalSize + 40LL * (sections - 1);
    logMessage(L"resSectionTableStart: %d", static_cast<int>(sectionHeader));
    seekForRead(file, sectionHeader + 16);
    std::int32_t rawDataSize = readInt(file);
    seekForRead(file, sectionHeader + 20);
    std::int32_t rawDataOffset = readInt(file);
    logMessage(L"rawDataSize: %d, rawDataOffset: %d", rawDataSize, rawDataOffset);
    seekForRead(file, static_cast<std::int64_t>(rawDataOffset) + rawDataSize);
}

size_t copyCut(int key, std::string_view value, char* buffer, size_t capacity) {
    if (capacity == 0) return 0;
    size_t n = value.size();
    if (n > capacity - 1) {
        logError(L"config string %d truncated (%d %d)", key, static_cast<int>(capacity), static_cast<int>(n));
        n = capacity - 1;
    }
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return n;
}

std::string_view textValue(int key) {
    auto it = texts.find(key);
    return it == texts.end() ? std::string_view() : std::string_view(it->second);
}

} // namespace

bool openLauncherFileAt(LauncherFile& file, const std::wstring& path) {
    file.handle.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.handle) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.handle.get(), &size)) {
        DWORD error = GetLastError();
        file.handle.reset();
        SetLastError(error);
        return false;
    }
    file.size = size.QuadPart;
    return true;
}

bool openLauncherFile(LauncherFile& file) { return openLauncherFileAt(file, executableLongPath()); }

bool seekLauncherFile(LauncherFile& file, std::int64_t offset) {
    LARGE_INTEGER target;
    target.QuadPart = offset;
    return SetFilePointerEx(file.handle.get(), target, nullptr, FILE_BEGIN) != FALSE;
}

std::int64_t launcherFilePosition(const LauncherFile& file) {
    LARGE_INTEGER zero{};
    LARGE_INTEGER position{};
    if (!SetFilePointerEx(file.handle.get(), zero, &position, FILE_CURRENT)) return -1;
    return position.QuadPart;
}

std::int32_t readInt(LauncherFile& file) {
    unsigned char b[4];
    bool ok = false;
    DWORD got = readBytes(file, b, 4, &ok);
    if (!ok || got < 4) {
        logMessage(L"error %d %d\n", static_cast<int>(GetLastError()), static_cast<int>(got));
        fatalText(L"Internal Error: readInt");
    }
    return static_cast<std::int32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
}

std::int64_t readLong(LauncherFile& file) {
    unsigned char b[8];
    if (readBytes(file, b, 8) < 8) {
        logMessage(L"error %d\n", static_cast<int>(GetLastError()));
        fatalText(L"Internal Error: readLong");
    }
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | b[i];
    return static_cast<std::int64_t>(v);
}

std::int16_t readShort(LauncherFile& file) {
    unsigned char b[2];
    if (readBytes(file, b, 2) < 2) {
        logMessage(L"error %d\n", static_cast<int>(GetLastError()));
        fatalText(L"Internal Error: readShort");
    }
    return static_cast<std::int16_t>(b[0] | (b[1] << 8));
}

std::string readString(LauncherFile& file) {
    std::int32_t length = readInt(file);
    // The length is checked against the file before anything is allocated for it: a damaged
    // block must not ask for gigabytes or a negative size.
    if (length < 0 || length > remainingBytes(file)) fatalText(L"Internal Error: readString");
    std::string value(static_cast<size_t>(length), '\0');
    if (length > 0 && readBytes(file, value.data(), static_cast<DWORD>(length)) < static_cast<DWORD>(length)) {
        fatalText(L"Internal Error: readString");
    }
    return value;
}

std::wstring readWString(LauncherFile& file) {
    std::int32_t length = readInt(file);
    // As readString; an odd byte count is no UTF-16 text and marks a damaged block as well.
    if (length < 0 || length % 2 != 0 || length > remainingBytes(file)) fatalText(L"Internal Error: readWString");
    std::vector<unsigned char> bytes(static_cast<size_t>(length));
    if (length > 0 && readBytes(file, bytes.data(), static_cast<DWORD>(length)) < static_cast<DWORD>(length)) {
        fatalText(L"Internal Error: readWString");
    }
    std::wstring value(static_cast<size_t>(length / 2), L'\0');
    for (size_t i = 0; i < value.size(); ++i) value[i] = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return value;
}

void loadConfigurationFrom(LauncherFile& file) {
    seekToConfigurationBlock(file);
    if (static_cast<std::uint32_t>(readInt(file)) != kBlockMagic) fatalText(L"Internal Error: magic");
    readInt(file);
    readInt(file);
    readLong(file);

    std::int32_t textCount = readCount(file, 8);
    for (std::int32_t i = 0; i < textCount; ++i) {
        std::int32_t key = readInt(file);
        texts[key] = readString(file);
    }
    readMessages(file, readCount(file, 8), true);

    char locale[kLocaleBufferSize];
    selectLocale(locale);
    splitLocale(locale);

    std::int32_t groups = readCount(file, 8);
    for (std::int32_t g = 0; g < groups; ++g) {
        std::string prefix = readString(file);
        readMessages(file, readCount(file, 8), localeGroupApplies(locale, prefix));
    }

    blockEnd = static_cast<std::int32_t>(launcherFilePosition(file));
    file.handle.reset();

    std::int32_t kind = configInt(107);
    if (kind != 1 && kind != 5) setErrorOutput(ErrorOutput::Console);
}

void openLauncherFileOrEnd(LauncherFile& file) {
    if (openLauncherFile(file)) return;
    int error = static_cast<int>(GetLastError());
    logError(L"Could not open %p %d %s", static_cast<const void*>(file.handle.get()), error, executableLongPath());
    fatalText(L"Error opening media file.");
}

void loadConfiguration() {
    LauncherFile file;
    openLauncherFileOrEnd(file);
    loadConfigurationFrom(file);
}

std::int32_t includedFilesPosition() noexcept { return blockEnd; }

size_t configText(int key, char* buffer, size_t capacity) { return copyCut(key, textValue(key), buffer, capacity); }

std::string configTextCopy(int key) { return std::string(textValue(key)); }

size_t configWideText(int key, wchar_t* buffer, size_t capacity) {
    if (capacity == 0) return 0;
    std::string_view value = textValue(key);
    size_t n = std::min(value.size(), capacity - 1);
    for (size_t i = 0; i < n; ++i) buffer[i] = static_cast<unsigned char>(value[i]);
    buffer[n] = L'\0';
    return n;
}

std::wstring configWideText(int key) { return widenBytes(textValue(key)); }

bool localeGroupApplies(std::string_view locale, std::string_view prefix) noexcept {
    return locale.substr(0, prefix.size()) == prefix;
}

std::int32_t parseConfigInt(std::string_view text) noexcept {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 1LL + INT_MAX) value = 1LL + INT_MAX;
    }
    if (negative) value = -value;
    return static_cast<std::int32_t>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

std::int32_t configInt(int key) {
    std::vector<char> buffer(kMaxPath);
    configText(key, buffer.data(), buffer.size());
    return parseConfigInt(buffer.data());
}

void rawMessageText(int id, wchar_t* buffer, size_t capacity) {
    if (capacity == 0) return;
    auto it = messages.find(id);
    size_t n = 0;
    if (it != messages.end()) {
        n = std::min(it->second.size(), capacity - 1);
        std::wmemcpy(buffer, it->second.data(), n);
    }
    buffer[n] = L'\0';
}

std::wstring rawMessageText(int id) {
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
    texts.clear();
    messages.clear();
    blockEnd = 0;
}

void setConfigTextForTest(int key, std::string_view value) { texts[key] = std::string(value); }

void setMessageTextForTest(int id, std::wstring_view value) { messages[id] = std::wstring(value); }

} // namespace vkr
