// gramconv's entry point: arguments are the file system's bytes, used as they are.
#include <string>
#include <vector>

#include "gramconv.h"

int main(int argc, char** argv) { return RunGramconv(std::vector<std::string>(argv, argv + argc)); }
