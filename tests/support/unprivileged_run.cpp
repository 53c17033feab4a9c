#include "tests/support/unprivileged_run.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int RunUnprivileged(const std::function<int()>& body, std::string& why) {
    std::fflush(nullptr);  // nothing buffered is written twice
    pid_t child = fork();
    if (child < 0) {
        why = "fork failed";
        return -1;
    }
    if (child == 0) {
        if (geteuid() == 0) {
            const gid_t gid = kUnprivilegedId;
            const uid_t uid = kUnprivilegedId;
            if (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 ||
                setresuid(uid, uid, uid) != 0) {
                _exit(200);
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
    if (WEXITSTATUS(status) == 200) {
        why = "the child could not give up root";
        return -1;
    }
    return WEXITSTATUS(status);
}
