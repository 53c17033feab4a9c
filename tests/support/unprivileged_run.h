// Runs a piece of a test in a forked child: one that cannot read what its
// permission bits forbid (the tests run as root, whom permission bits do not
// stop; the child gives up root for the "nobody" user and groups), or one
// whose changes to the system (a mount in a namespace of its own) end with it.
#pragma once

#include <functional>
#include <string>

constexpr unsigned kUnprivilegedId = 65534;  // nobody, nogroup
// A body returns this when what it needs is refused here; why then says so.
constexpr int kChildCannotRun = 200;

// The body's result (0 to 255) as the child's exit status; -1 when the child
// could not be started, did not end normally or returned kChildCannotRun,
// with why set.
int RunUnprivileged(const std::function<int()>& body, std::string& why);
int RunInChild(const std::function<int()>& body, std::string& why);
