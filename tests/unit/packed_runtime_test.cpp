// Packed runtime preparation against a stand-in runtime tree: the stand-in unpack200.exe
// copies the pack's bytes into the JAR and records its command line in unpack200.runs.
#include "jvm/PackedRuntime.h"

#include "config/ConfigStore.h"
#include "config/ErrorReporting.h"
#include "config_test_support.h"
#include "util/DiagnosticLog.h"
#include "util/Paths.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>

namespace vkr {
namespace {

using test::fixturesDirectory;
using test::lines;
using test::readWholeFile;
using test::removeTree;
using test::writeWholeFile;

std::string withoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
}

// While alive, the C runtime's standard output goes into a temporary file.
class CapturedStandardOutput {
public:
    CapturedStandardOutput() {
        std::fflush(stdout);
        file_ = std::tmpfile();
        saved_ = _dup(_fileno(stdout));
        _dup2(_fileno(file_), _fileno(stdout));
    }
    ~CapturedStandardOutput() {
        std::fflush(stdout);
        _dup2(saved_, _fileno(stdout));
        _close(saved_);
        std::fclose(file_);
    }
    CapturedStandardOutput(const CapturedStandardOutput&) = delete;
    CapturedStandardOutput& operator=(const CapturedStandardOutput&) = delete;

    std::string text() {
        std::fflush(stdout);
        std::string out;
        const long end = std::ftell(file_);
        std::fseek(file_, 0, SEEK_SET);
        out.resize(static_cast<size_t>(end > 0 ? end : 0));
        if (!out.empty()) out.resize(std::fread(out.data(), 1, out.size(), file_));
        std::fseek(file_, 0, SEEK_END);
        return withoutCarriageReturns(out);
    }

private:
    FILE* file_ = nullptr;
    int saved_ = -1;
};

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

class PackedRuntime : public ::testing::Test {
protected:
    void SetUp() override {
        clearConfigStoreForTest();
        test::beginTestLog();
        root_ = test::scratchPath("vkrpack");
        for (const char* sub : {"", "\\bin", "\\lib", "\\lib\\ext"}) CreateDirectoryA((root_ + sub).c_str(), nullptr);
    }
    void TearDown() override {
        removeTree(root_);
        setTerminateHookForTest(nullptr);
        clearConfigStoreForTest();
        test::endTestLog();
    }

    void installUnpack200() {
        const std::string tool = fixturesDirectory() + "\\unpack200stub\\unpack200.exe";
        ASSERT_TRUE(CopyFileA(tool.c_str(), (root_ + "\\bin\\unpack200.exe").c_str(), FALSE)) << tool;
    }
    std::vector<std::string> unpackRuns() const { return lines(readWholeFile(root_ + "\\bin\\unpack200.runs")); }
    bool present(const char* relative) const { return exists(root_ + relative); }

    static std::string logText() { return test::testLogText(); }

    std::string root_;
};

TEST_F(PackedRuntime, UnpacksLibThenExtAnnouncesOnceAndDeletesThePacks) {
    installUnpack200();
    writeWholeFile(root_ + "\\lib\\rt.jar.pack", "rt bytes");
    writeWholeFile(root_ + "\\lib\\ext\\a.jar.pack", "a bytes");
    {
        CapturedStandardOutput out;
        unpackJre(root_);
        EXPECT_EQ(out.text(), "Preparing JRE ...\n");
    }
    // The tool's command line holds the arguments only, not the program's name.
    const std::vector<std::string> expected = {
        "-r \"" + root_ + "\\lib\\rt.jar.pack\" \"" + root_ + "\\lib\\rt.jar\"",
        "-r \"" + root_ + "\\lib\\ext\\a.jar.pack\" \"" + root_ + "\\lib\\ext\\a.jar\"",
    };
    EXPECT_EQ(unpackRuns(), expected);
    EXPECT_EQ(readWholeFile(root_ + "\\lib\\rt.jar"), "rt bytes");
    EXPECT_EQ(readWholeFile(root_ + "\\lib\\ext\\a.jar"), "a bytes");
    EXPECT_FALSE(present("\\lib\\rt.jar.pack"));
    EXPECT_FALSE(present("\\lib\\ext\\a.jar.pack"));
    EXPECT_EQ(occurrences(logText(), "Unpacking JRE done"), 1u);

    // The next launch finds everything prepared and starts no process.
    {
        CapturedStandardOutput out;
        unpackJre(root_);
        EXPECT_EQ(out.text(), "");
    }
    EXPECT_EQ(unpackRuns().size(), 2u);
    EXPECT_EQ(occurrences(logText(), "Unpacking JRE done"), 1u);
}

TEST_F(PackedRuntime, PackWithItsJarIsLeftAloneAndNothingRuns) {
    installUnpack200();
    writeWholeFile(root_ + "\\lib\\rt.jar.pack", "new");
    writeWholeFile(root_ + "\\lib\\rt.jar", "old");
    {
        CapturedStandardOutput out;
        unpackJre(root_);
        EXPECT_EQ(out.text(), "");
    }
    EXPECT_TRUE(unpackRuns().empty());
    EXPECT_TRUE(present("\\lib\\rt.jar.pack"));
    EXPECT_EQ(readWholeFile(root_ + "\\lib\\rt.jar"), "old");
    EXPECT_EQ(logText().find("Unpacking JRE"), std::string::npos);

    // A pack that is gone by the time the tool would run is passed over.
    runUnpack200(root_, root_ + "\\lib\\gone.jar.pack");
    EXPECT_TRUE(unpackRuns().empty());
    EXPECT_NE(logText().find("pack path doesn't exists"), std::string::npos);
}

TEST_F(PackedRuntime, MissingToolEndsTheLauncherWithMessage1009) {
    setMessageTextForTest(1009, L"An internal error occurred (error code: {0})");
    setErrorOutput(ErrorOutput::Console);
    setTerminateHookForTest(test::throwingTerminateHook);
    writeWholeFile(root_ + "\\lib\\rt.jar.pack", "rt bytes");
    int exitCode = -1;
    std::string message;
    {
        test::CapturedStandardError err;
        try {
            unpackJre(root_);
        } catch (const test::Terminated& t) {
            exitCode = t.exitCode;
        }
        message = err.text();
    }
    EXPECT_EQ(exitCode, 1);
    EXPECT_NE(message.find("An internal error occurred (error code: 20)"), std::string::npos) << message;
    EXPECT_NE(logText().find("could not create unpack process"), std::string::npos);
}

} // namespace
} // namespace vkr
