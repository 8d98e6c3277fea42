// posctl reading its lines from standard input.
#pragma once

namespace posctl {

// Runs lines from standard input as they are read. On a terminal it shows a prompt,
// prints events while waiting for the next line, and reports a failing line without
// ending the session; otherwise the first failing line ends it (exit status 2).
int RunStandardInput();

}  // namespace posctl
