// The posreg command: import, export, get, set and delete in the registry store, and
// registration of server libraries.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace posreg {

// Runs one command line (`args` without the program name). Results go to `out`,
// messages to `err`. Returns the exit code: 0 done, 1 the operation failed, 2 usage.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace posreg
