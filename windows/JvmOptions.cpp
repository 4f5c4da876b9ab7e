#include "JvmOptions.h"

#include "ClassPath.h"
#include "VmOptions.h"
#include "config/ConfigStore.h"
#include "core/OptionRules.h"
#include "util/DiagnosticLog.h"
#include "util/ProcessState.h"

#include <algorithm>
#include <memory>

namespace vkr {

namespace {

constexpr int kReadVmOptionsFileKey = 166;

} // namespace

JvmInitArguments::JvmInitArguments(std::vector<std::string> options) : options_(std::move(options)) {
    entries_.reserve(options_.size());
    for (std::string& option : options_) entries_.push_back(JavaVMOption{option.data(), nullptr});
    record_.version = JNI_VERSION_1_2;
    record_.nOptions = static_cast<jint>(entries_.size());
    record_.options = entries_.data();
    record_.ignoreUnrecognized = JNI_TRUE;
}

std::vector<std::string> assembleJvmOptionList(const std::vector<std::string>& launchProperties,
                                               const ArgumentVector& arguments) {
    OptionAssembly assembly;
    assembly.options = launchProperties;
    collectConfiguredOptions(arguments, assembly);
    if (configInt(kReadVmOptionsFileKey) != 0) {
        VmOptionsFile file = openDefaultVmOptionsFile();
        logMessage(L"default vmoptions file: %p", static_cast<const void*>(file.get()));
        // Relative include paths in it resolve against the executable's directory.
        readVmOptionsFile(nullptr, std::move(file), assembly);
    }
    buildPathOptions(assembly.options, assembly.overrides);
    std::vector<std::string>& options = assembly.options;
    if (processState().serviceMode && std::find(options.begin(), options.end(), "-Xrs") == options.end()) {
        // The service child must not end on the console events of a logoff: the service host
        // decides when it stops.
        logMessage(L"service: adding -Xrs");
        options.push_back("-Xrs");
    }
    if (processState().noRedirection) options.push_back("-Dvelkor.noRedir=true");
    mergeModuleOptions(options);
    logMessage(L"vmoption count %d", options.size());
    for (size_t i = 0; i < options.size(); ++i) logMessage(L"vmoption %d: %S", i, options[i]);
    return std::move(assembly.options);
}

std::unique_ptr<JvmInitArguments> assembleJvmOptions(const std::vector<std::string>& launchProperties,
                                                     const ArgumentVector& arguments) {
    return std::make_unique<JvmInitArguments>(assembleJvmOptionList(launchProperties, arguments));
}

} // namespace vkr
