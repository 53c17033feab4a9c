// qxmessages.exe STYLE [LENGTH]: asks one question through the program's own
// message dialog, with the given style bits and, when LENGTH is given, a text
// of that many characters; the exit code is the button's identifier. A test
// program only: quellix.exe has no way to show an arbitrary style.
#include <cstdlib>
#include <string>

#include "platform/message_box.h"
#include "scan/report_texts.h"

int main(int argc, char** argv) {
    if (argc < 2) return 100;
    unsigned style = static_cast<unsigned>(std::strtoul(argv[1], nullptr, 0));
    std::string text = "Quellix has finished its work.";
    if (argc > 2) {
        const std::string words = "The quick brown fox jumps over the lazy dog. ";
        text.clear();
        size_t length = std::strtoul(argv[2], nullptr, 10);
        while (text.size() < length) text += words;
        text.resize(length);
    }
    return ShowMessage(text.c_str(), texts::kProgramTitle, style);
}
