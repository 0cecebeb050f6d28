#pragma once

#include <cstdio>
#include <optional>

// The options a desktop program answers without starting: --version and --help. They are read before any
// application object exists, so they work without a display and without taking the single-instance lock.
// Returns the exit code when the command line asked for one of them (or for something unknown), and nothing
// when the program should start.
std::optional<int> AnswerCommandLine(int argc, char* argv[], std::FILE* out, std::FILE* err);
