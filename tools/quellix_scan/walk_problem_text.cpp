#include "tools/quellix_scan/walk_problem_text.h"

#include <cstring>

std::string WalkProblemText(platform::host::WalkProblem problem, int error) {
    using platform::host::WalkProblem;
    switch (problem) {
        case WalkProblem::Link:
            return "symbolic link, not followed";
        case WalkProblem::Fifo:
            return "FIFO, not opened";
        case WalkProblem::Socket:
            return "socket, not opened";
        case WalkProblem::Device:
            return "device, not opened";
        case WalkProblem::AlreadyWalked:
            return "folder reached a second time, not walked again";
        case WalkProblem::BackslashName:
            return "name holds '\\', which no Windows path can hold; not scanned";
        case WalkProblem::PathTooLong:
            return "path longer than 259 characters as a Windows path; not scanned";
        case WalkProblem::FolderUnreadable:
            return std::string("cannot read folder: ") + std::strerror(error);
        case WalkProblem::FileUnreadable:
            return std::string("cannot read file: ") + std::strerror(error);
    }
    return "not scanned";
}
