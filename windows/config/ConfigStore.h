#pragma once
// The configuration block appended behind the executable's last section, loaded once into
// two ordered maps (8-bit texts, UTF-16 messages) and read-only afterwards. An absent key
// reads as "" or 0. The format itself is the core's (core/BlockFormat.h).
#include "core/BlockFormat.h"
#include "util/Handles.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vkr {

// The launcher's own executable as the block reader's byte source. The size is taken once at
// open, so that every count and length read from the block is checked against what the file
// holds before anything is allocated for it.
class LauncherFile final : public ByteSource {
public:
    // Opens for reading, sharing read and write, existing file only.
    bool open(const std::wstring& path);
    void close() noexcept {
        handle_.reset();
        window_.clear();
    }
    bool isOpen() const noexcept { return static_cast<bool>(handle_); }

    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t offset, void* destination, std::size_t count) override;
    // The system error of the last read that failed in ReadFile, else 0.
    DWORD lastReadError() const noexcept { return lastReadError_; }

private:
    std::size_t readFromFile(std::uint64_t offset, void* destination, std::size_t count);

    UniqueFile handle_;
    std::uint64_t size_ = 0;
    DWORD lastReadError_ = 0;
    // The block is read a few bytes at a time, hundreds of times at every start: from memory,
    // not with a system call each.
    std::vector<char> window_;
    std::uint64_t windowOffset_ = 0;
};

// Opens the executable (long path); a failure is logged with its error code and ends the
// launcher with "Error opening media file.".
void openLauncherFileOrEnd(LauncherFile& file);

// Reads the block into the store, selects the locale on the way and sets the error-output
// mode. Called once, first thing in every process. Any failure ends the launcher with the
// text of the failing read ("Internal Error: readInt", ...), exit code 1.
void loadConfiguration();
// loadConfiguration on an already opened file (which it closes once the block is read).
void loadConfigurationFrom(LauncherFile& file);
// The log line and fatal text of a failed read of the launcher's own file.
[[noreturn]] void endForReadFailure(const LauncherFile& file, const ReadFailure& failure);
// The file offset just behind the block, where the included files start.
std::int32_t includedFilesPosition() noexcept;

// Copies the value cut to capacity - 1 bytes and terminates it; returns the bytes copied.
// A longer value is logged with "ERROR: config string %d truncated (%d %d)".
size_t configText(int key, char* buffer, size_t capacity);
std::string configTextCopy(int key);
// The value widened byte by byte, cut to capacity - 1 units and terminated.
size_t configWideText(int key, wchar_t* buffer, size_t capacity);
std::wstring configWideText(int key);
std::int32_t configInt(int key);
// The message map's value, cut to capacity - 1 and terminated; "" when absent.
void rawMessageText(int id, wchar_t* buffer, size_t capacity);
std::wstring rawMessageText(int id);
// rawMessageText, else the text map's value of the same number, widened. Returns the length.
size_t messageText(int id, wchar_t* buffer, size_t capacity);
std::wstring messageText(int id);

// Whether a locale override group with this prefix applies to the selected locale: the
// locale begins with the prefix (byte-wise, case-sensitive); "" applies to every locale.
bool localeGroupApplies(std::string_view locale, std::string_view prefix) noexcept;

// Test seams: fill the store directly.
void clearConfigStoreForTest();
void setConfigTextForTest(int key, std::string_view value);
void setMessageTextForTest(int id, std::wstring_view value);

} // namespace vkr
