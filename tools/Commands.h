// Subcommands of the `bramble` tool. Each takes the arguments after its
// own name and returns the process exit code.
#pragma once

namespace bramble {
namespace cli {

int Decode(int argc, char** argv);
int Info(int argc, char** argv);
int Bench(int argc, char** argv);

// One-line message on standard error, prefixed with the tool's name.
void Fail(const char* format, const char* arg);

}  // namespace cli
}  // namespace bramble
