#pragma once

#include <cstddef>

// Copies source into destination[capacity]; when source is longer than width
// characters it becomes its first width/2-1 characters, dots, and its last
// width/2-1 characters (60 gives 29 + ".." + 29). width is at most 100.
void ShortenPath(const char* source, char* destination, std::size_t capacity, int width);
