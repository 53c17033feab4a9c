#include "tests/support/unprivileged_run.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace {

int RunForked(const std::function<int()>& body, bool dropRoot, std::string& why) {
    std::fflush(nullptr);  // nothing buffered is written twice
    pid_t child = fork();
    if (child < 0) {
        why = "fork failed";
        return -1;
    }
    if (child == 0) {
        if (dropRoot && geteuid() == 0) {
            const gid_t gid = kUnprivilegedId;
            const uid_t uid = kUnprivilegedId;
            if (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 ||
                setresuid(uid, uid, uid) != 0) {
                _exit(kChildCannotRun);
            }
        }
        const int result = body();
        std::fflush(nullptr);
        _exit(result & 0xFF);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        why = "the child did not end normally";
        return -1;
    }
    if (WEXITSTATUS(status) == kChildCannotRun) {
        if (why.empty()) why = dropRoot ? "the child could not give up root" : "refused here";
        return -1;
    }
    return WEXITSTATUS(status);
}

}  // namespace

int RunUnprivileged(const std::function<int()>& body, std::string& why) {
    return RunForked(body, true, why);
}

int RunInChild(const std::function<int()>& body, std::string& why) {
    return RunForked(body, false, why);
}
