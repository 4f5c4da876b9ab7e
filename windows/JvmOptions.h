#pragma once
// Every option the launcher passes to the JVM, in one fixed order, and the record of the JNI
// invocation interface that carries them to JNI_CreateJavaVM.
#include "core/Tokenizer.h"

#include <jni.h>

#include <memory>
#include <string>
#include <vector>

namespace vkr {

// The options and the JavaVMInitArgs pointing into them. The record's pointers stay valid for
// as long as this object lives (it is neither copied nor moved once built).
class JvmInitArguments {
public:
    explicit JvmInitArguments(std::vector<std::string> options);
    JvmInitArguments(const JvmInitArguments&) = delete;
    JvmInitArguments& operator=(const JvmInitArguments&) = delete;

    const std::vector<std::string>& options() const noexcept { return options_; }
    JavaVMInitArgs* record() noexcept { return &record_; }

private:
    std::vector<std::string> options_;
    std::vector<JavaVMOption> entries_;
    JavaVMInitArgs record_{};
};

// In order: the launch properties, the configured options (key 123, a version-specific line,
// "-J" arguments, the locale argument), the VM options file beside the executable (key 166),
// the class path and module options, "-Xrs" for the service child, "-Dvelkor.noRedir=true" for
// "/run"; module option names joined with their values. Logs the count and every option.
std::vector<std::string> assembleJvmOptionList(const std::vector<std::string>& launchProperties,
                                               const ArgumentVector& arguments);
std::unique_ptr<JvmInitArguments> assembleJvmOptions(const std::vector<std::string>& launchProperties,
                                                     const ArgumentVector& arguments);

} // namespace vkr
