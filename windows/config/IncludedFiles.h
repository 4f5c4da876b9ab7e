#pragma once
// Files carried behind the configuration block, written into a fresh temporary extraction
// directory at the start of every launch and removed again when the process ends.
#include "config/ConfigStore.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vkr {

// The extraction directory (8-bit), "" while none exists.
const std::string& extractionDirectoryName() noexcept;
void setExtractionDirectoryName(std::string name);
// The file position behind the last extracted record; 0 when nothing was extracted.
std::int32_t unextractedPosition() noexcept;

enum class ExtractionDirectory { Create, Existing };
// A failure the launch sequence reports (message 1009 with "16"); the others end the launcher
// here: no extraction directory (1009 "7"), an output file that cannot be created (1009
// "11"), a launcher file that cannot be opened or whose size fields cannot be read.
enum class Extraction { Done, ReadFailed, WriteFailed };

Extraction extractIncludedFiles(ExtractionDirectory directory);
// The directory is created with an access list of its own (extractionDirectorySddl): when
// the launcher runs as a service its temp directory is the Windows temp directory, where
// every user may create entries, and the directory's jars end up on the class path. A name
// that already exists fails the attempt instead of being reused, and the empty "qnt" file
// whose name formed the directory name is deleted again. Ends the launcher after 10 attempts.
void createExtractionDirectory();

// The records of extractIncludedFiles: at most count records from position, written below
// the extraction directory as named by configuration key 2003; records unextractedPosition.
// extractIncludedFiles runs it on the launcher's own file; tests on a file of their own.
Extraction extractRecords(LauncherFile& file, std::int64_t position, std::int32_t count);

// Full control for the given user, SYSTEM and Administrators, inherited by everything
// inside; protected, so the temp directory's own grants to ordinary users do not apply.
std::string extractionDirectorySddl(std::string_view userSid);

} // namespace vkr
