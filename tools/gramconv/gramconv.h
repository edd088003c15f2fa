// gramconv's work once the system's entry point has its arguments in UTF-8 (Windows) or
// as the file system's bytes.
#pragma once

#include <string>
#include <vector>

// Runs the command line (args[0] is the program) and returns the exit status.
int RunGramconv(const std::vector<std::string>& args);
