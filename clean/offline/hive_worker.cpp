#include "clean/offline/hive_worker.h"
#include "platform/host/posix_io.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

std::function<void()> startHook;

// The child's answer: records of a tag byte, a 32-bit length and the bytes;
// 'Z' ends a complete answer.
void Put(std::string& out, char tag, const std::string& text = {}) {
    const auto n = static_cast<std::uint32_t>(text.size());
    out += tag;
    for (int i = 0; i < 4; ++i) out += static_cast<char>((n >> (8 * i)) & 0xFF);
    out += text;
}

std::string ChildAnswer(int hiveFd, const std::string& rootName, const HiveWork& work,
                        int newHiveFd) {
    std::string out;
    HiveSession session(rootName);
    std::string error;
    if (!session.Open(hiveFd, error)) {
        Put(out, 'E', error);
        Put(out, 'Z');
        return out;
    }
    Put(out, 'O');
    work(session, [&](const char* reportedAs, const std::string& what, bool removed) {
        Put(out,
            !removed     ? 'L'
            : reportedAs ? 'R'
                         : 'N',
            (reportedAs ? reportedAs : "") + std::string(1, '\0') + what);
    });
    for (const std::string& refusal : session.Refusals()) Put(out, 'P', refusal);
    for (const std::string& error : session.ReadErrors()) Put(out, 'U', error);
    if (session.Changed()) {
        Put(out, 'C');
        Put(out, 'B', session.Backup());
        // A hive read in part is not written: what was missed would be
        // left while the hive looked cleaned.
        if (newHiveFd >= 0 && session.ReadErrors().empty()) {
            const std::string target = "/proc/self/fd/" + std::to_string(newHiveFd);
            HiveSession reread("");
            if (!session.CommitTo(target, error)) {
                Put(out, 'X', error);
            } else if (!reread.Open(newHiveFd, error)) {
                Put(out, 'X', "the new hive does not read back: " + error);
            } else {
                Put(out, 'W');
            }
        }
    }
    Put(out, 'Z');
    return out;
}

void ReadAnswer(const std::string& data, HiveOutcome& outcome) {
    std::size_t at = 0;
    while (at + 5 <= data.size()) {
        const char tag = data[at];
        std::uint32_t n = 0;
        for (int i = 0; i < 4; ++i)
            n |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 1 + i]))
                 << (8 * i);
        at += 5;
        if (n > data.size() - at) return;
        const std::string text = data.substr(at, n);
        at += n;
        switch (tag) {
            case 'O':
                outcome.opened = true;
                break;
            case 'E':
                outcome.openError = text;
                break;
            case 'R':
            case 'N':
            case 'L': {
                const std::size_t gap = text.find('\0');
                if (gap == std::string::npos) return;
                const std::string reportedAs = text.substr(0, gap);
                outcome.removals.push_back({tag == 'R' || (tag == 'L' && !reportedAs.empty()),
                                            tag == 'L', reportedAs, text.substr(gap + 1)});
                break;
            }
            case 'P':
                outcome.refusals.push_back(text);
                break;
            case 'U':
                outcome.readErrors.push_back(text);
                break;
            case 'C':
                outcome.changed = true;
                break;
            case 'B':
                outcome.backup = text;
                break;
            case 'X':
                outcome.commitError = text;
                break;
            case 'W':
                outcome.committed = true;
                break;
            case 'Z':
                outcome.finished = true;
                return;
            default:
                return;
        }
    }
}

}  // namespace

void SetHiveWorkerStartHook(std::function<void()> hook) {
    startHook = std::move(hook);
}

HiveOutcome RunHiveWorker(int hiveFd, const std::string& rootName, const HiveWork& work,
                          int newHiveFd, int stopFd) {
    HiveOutcome outcome;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        outcome.failure = std::string("no pipe for the hive's worker: ") + std::strerror(errno);
        return outcome;
    }
    std::fflush(nullptr);
    const pid_t parent = getpid();
    pid_t child = fork();
    if (child < 0) {
        outcome.failure = std::string("no process for the hive's worker: ") + std::strerror(errno);
        close(pipeFds[0]);
        close(pipeFds[1]);
        return outcome;
    }
    if (child == 0) {
        close(pipeFds[0]);
        // The scan's stop signals are the parent's to answer: it ends the
        // worker. A parent that dies takes the worker with it; one that died
        // before this was set is seen in getppid.
        signal(SIGINT, SIG_IGN);
        signal(SIGTERM, SIG_IGN);
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(1);
        if (startHook) startHook();
        const std::string answer = ChildAnswer(hiveFd, rootName, work, newHiveFd);
        bool ok = platform::host::WriteAll(pipeFds[1], answer.data(), answer.size());
        _exit(ok ? 0 : 1);
    }
    close(pipeFds[1]);
    std::string data;
    char buffer[65536];
    for (;;) {
        pollfd watched[2] = {{pipeFds[0], POLLIN, 0}, {stopFd, POLLIN, 0}};
        if (poll(watched, stopFd >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (stopFd >= 0 && (watched[1].revents & POLLIN) != 0) {
            outcome.stopped = true;
            kill(child, SIGKILL);
            break;
        }
        ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        data.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (outcome.stopped) {
        outcome.failure = "the scan was stopped";
        return outcome;
    }
    ReadAnswer(data, outcome);
    if (WIFSIGNALED(status)) {
        outcome.finished = false;
        outcome.failure = std::string("hivex stopped on it (") + strsignal(WTERMSIG(status)) +
                          "): the hive is damaged";
    } else if (!outcome.finished || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        outcome.finished = false;
        outcome.failure = "the hive's worker ended without an answer";
    }
    return outcome;
}
