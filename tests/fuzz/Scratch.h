// A directory of the fuzz target's own for the generator's file operations, made once per
// process and removed when it ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace vkr::fuzz {

inline const std::filesystem::path& scratchDirectory() {
    static const std::filesystem::path directory = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "vkr-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratchDirectory(), ignored);
        });
        return std::filesystem::path(pattern);
    }();
    return directory;
}

} // namespace vkr::fuzz
