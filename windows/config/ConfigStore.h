#pragma once
// The configuration block appended behind the executable's last section, loaded once into
// two ordered maps (8-bit texts, UTF-16 messages) and read-only afterwards. An absent key
// reads as "" or 0.
#include "util/Handles.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vkr {

inline constexpr std::uint32_t kBlockMagic = 0xE8E413D5u;

// The launcher's own executable, open for the block reader primitives. The size is taken
// once at open so that every count and length read from the block can be checked against
// what the file still holds before anything is allocated for it.
struct LauncherFile {
    UniqueFile handle;
    std::int64_t size = 0;
};

// Opens the executable (long path) for reading, sharing read and write, existing file only.
bool openLauncherFile(LauncherFile& file);
// As openLauncherFile; a failure is logged with its error code and ends fatally with
// "Error opening media file.".
void openLauncherFileOrEnd(LauncherFile& file);
// The same for any file: a test loads a block from a file of its own making.
bool openLauncherFileAt(LauncherFile& file, const std::wstring& path);
bool seekLauncherFile(LauncherFile& file, std::int64_t offset);
std::int64_t launcherFilePosition(const LauncherFile& file);

// Reader primitives: read at the current position and advance. Every failure is fatal with
// the primitive's own text ("Internal Error: readInt", ...), exit code 1.
std::int32_t readInt(LauncherFile& file);
std::int64_t readLong(LauncherFile& file);
std::int16_t readShort(LauncherFile& file);
std::string readString(LauncherFile& file);
std::wstring readWString(LauncherFile& file);

// Reads the block into the store, selects the locale on the way and sets the error-output
// mode. Called once, first thing in every process. Fatal on any failure.
void loadConfiguration();
// loadConfiguration on an already opened file (which it closes once the block is read).
void loadConfigurationFrom(LauncherFile& file);
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
// Pure decimal parsing with configInt's rules (leading blanks, sign, digits, clamping).
std::int32_t parseConfigInt(std::string_view text) noexcept;

// Test seams: fill the store directly.
void clearConfigStoreForTest();
void setConfigTextForTest(int key, std::string_view value);
void setMessageTextForTest(int id, std::wstring_view value);

} // namespace vkr
