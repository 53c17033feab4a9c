// Runs a piece of a test in a forked child that cannot read what its
// permission bits forbid. The tests run as root, whom permission bits do not
// stop; the child then gives up root for the "nobody" user and groups.
#pragma once

#include <functional>
#include <string>

constexpr unsigned kUnprivilegedId = 65534;  // nobody, nogroup

// The body's result (0 to 255) as the child's exit status; -1 when the child
// could not be started or did not end normally, with why set.
int RunUnprivileged(const std::function<int()>& body, std::string& why);
