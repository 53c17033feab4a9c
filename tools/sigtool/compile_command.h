// Turns a text source into C++ that defines one signature table with its
// all-zero terminator. Shared by quellix-sigtool and the small bootstrap
// compiler a build uses before any tool of its own exists.
#pragma once

#include <string>

// Returns a process exit code; reports problems on stderr.
int CompileSignatureText(const std::string& inputPath, const std::string& outputPath,
                         const std::string& symbol);
