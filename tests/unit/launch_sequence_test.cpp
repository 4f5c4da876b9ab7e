// The native-library step of the launch sequence: the configured directories go in front of
// PATH in both views of the environment, and without directories PATH stays exactly as it
// was, an unset PATH included (an empty value once came back as an unset variable, and an
// unset one as an empty variable).
#include "launcher/LaunchSequence.h"

#include "config/ConfigStore.h"
#include "util/EnvironmentPath.h"
#include "util/Paths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

using namespace vkr;

namespace {

struct PathViews {
    std::optional<std::string> process;
    std::optional<std::string> runtime;
};

PathViews currentViews() {
    const char* runtime = std::getenv("PATH");
    return {environmentPath(), runtime ? std::optional<std::string>(runtime) : std::nullopt};
}

class NativeLibraryPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = environmentPath();
        clearConfigStoreForTest();
    }
    void TearDown() override {
        setEnvironmentPath(saved_);
        clearConfigStoreForTest();
    }
    std::optional<std::string> saved_;
};

TEST_F(NativeLibraryPathTest, DirectoriesGoInFrontAndNoDirectoriesLeavePathAsItWas) {
    const std::string lib = resolvePath(".\\lib");
    const std::string bin = resolvePath("bin");
    struct Case {
        const char* setting;
        std::optional<std::string> before;
        std::optional<std::string> after; // the C runtime's table cannot hold an empty value
        std::optional<std::string> runtimeAfter;
    };
    const Case cases[] = {
        {"", std::nullopt, std::nullopt, std::nullopt},
        {"", std::string(), std::string(), std::nullopt},
        {"", std::string("C:\\x;C:\\y"), std::string("C:\\x;C:\\y"), std::string("C:\\x;C:\\y")},
        {";;", std::string("C:\\x"), std::string("C:\\x"), std::string("C:\\x")},
        {".\\lib", std::string("C:\\x"), lib + ";C:\\x", lib + ";C:\\x"},
        {".\\lib;;bin;", std::string("C:\\x"), lib + ";" + bin + ";C:\\x", lib + ";" + bin + ";C:\\x"},
        {".\\lib", std::nullopt, lib + ";", lib + ";"},
    };
    for (const Case& c : cases) {
        setConfigTextForTest(10004, c.setting);
        ASSERT_TRUE(setEnvironmentPath(c.before));
        prependNativeLibraryPath();
        const PathViews views = currentViews();
        const std::string label = std::string("setting \"") + c.setting + "\", before " + c.before.value_or("<unset>");
        EXPECT_EQ(views.process, c.after) << label;
        EXPECT_EQ(views.runtime, c.runtimeAfter) << label;
    }
}

} // namespace
