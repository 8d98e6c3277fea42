// The class factories and registration of a printer library build.
#pragma once

#include "platform/automation/classes.h"
#include "printer/frame/build_traits.h"

namespace printer {

// The traits of the build this library is (defined by the build's entry file).
const BuildTraits& ThisBuild();

// The library's class module: one factory per class of ThisBuild(), each making a new
// object per request. The printer class is the service object; the others answer
// OpenService with "not yet available" until their services exist.
plat::ComModule& LibraryModule();

}  // namespace printer
