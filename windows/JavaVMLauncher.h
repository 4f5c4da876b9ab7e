#pragma once
// The last step of every run that starts the application: the launcher's own system
// properties, the JVM created in this process from the assembled options, the helper library
// and the calls into the JVM, main of the Java-side launcher, and the JVM destroyed when main
// returns (which waits for the application's other non-daemon threads).
#include "core/Tokenizer.h"

#include <string>
#include <vector>

namespace vkr {

// The system properties that head the JVM's options, in their order; each is left out when
// its condition does not hold.
std::vector<std::string> launchProperties();

// True: main returned and the JVM is destroyed. False: the JVM could not be created or main
// ended with an exception (logged). A missing launcher class or main method ends the launcher
// here with message 1010 or 1011.
bool launchApplication(const ArgumentVector& arguments);

} // namespace vkr
