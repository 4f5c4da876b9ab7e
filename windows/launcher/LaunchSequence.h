#pragma once
// The road from a configured launcher to a running Java application.
#include "core/Tokenizer.h"

namespace vkr {

enum class LaunchMode { ServiceChild, Foreground };

// Returns when the application's main has returned and the JVM is destroyed; ends the
// process itself on every failure.
void runLaunchSequence(LaunchMode mode, ArgumentVector& arguments);
void prependNativeLibraryPath();

} // namespace vkr
