// vorla-cli check: the workstation check for hospital IT.
#pragma once

namespace vorla::cli {

// Runs the check with the arguments after "check" (argv[0] is "check").
// Exit code 0: nothing wrong (warnings allowed); 1: problems found; 2: usage error.
int run_check(int argc, char** argv);

}  // namespace vorla::cli
