// The generator's configuration reader over any text. A configuration it accepts must give a
// block that reads back as the same values, and its printed form (as inspect prints it, the
// included files extracted and named as sources) must parse to the same block, byte for byte.
// Included-file sources are read relative to a scratch directory holding the seeds' files.
#include "FuzzSupport.h"
#include "SameBlock.h"
#include "Scratch.h"

#include "TomlConfig.h"
#include "core/BlockFormat.h"

#include <cstdint>
#include <fstream>

using namespace vkr;
using vkr::fuzz::expect;

namespace {

namespace fs = std::filesystem;

const fs::path& configPath() {
    static const fs::path path = [] {
        const fs::path& directory = vkr::fuzz::scratchDirectory();
        std::ofstream(directory / "a.dll", std::ios::binary) << std::string("MZ\x90\0 included", 13);
        std::ofstream(directory / "empty.txt", std::ios::binary).flush();
        return directory / "fuzz.toml";
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(vkr::fuzz::bytesOf(data, size));
    BlockContents config;
    std::string error;
    if (!gen::parseConfigurationToml(text, configPath(), config, error)) {
        expect(!error.empty(), "a refused configuration says why");
        return 0;
    }
    const std::string block = encodeBlock(config);
    MemorySource source(block);
    BlockContents decoded;
    expect(decodeBlock(source, 0, decoded, error), "an accepted configuration's block reads back");
    expect(vkr::fuzz::sameContents(config, decoded), "an accepted configuration's block holds its values");

    const fs::path extracted = vkr::fuzz::scratchDirectory() / "extracted";
    std::error_code ignored;
    fs::remove_all(extracted, ignored);
    std::vector<std::string> sources;
    expect(gen::extractIncludedFiles(config, extracted, sources, error), "an accepted configuration's files extract");
    std::string printed;
    expect(gen::formatConfigurationToml(config, sources, printed, error), "an accepted configuration prints");
    BlockContents again;
    expect(gen::parseConfigurationToml(printed, configPath(), again, error), "the printed configuration parses");
    expect(encodeBlock(again) == block, "the printed configuration gives the same block");
    return 0;
}
