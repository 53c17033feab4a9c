// The "Windows Registry Editor Version 5.00" text of reg_text merged into a
// real hive by hivex's own hivexregedit --merge: names and data in any script
// and of every type come back byte for byte, read with hivex. The text goes in
// UTF-8 (what hivexregedit reads) and as the UTF-16LE file reg import reads,
// turned into UTF-8 by iconv as hivex's manual says.
#include <fcntl.h>
#include <hivex.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "quarantine/reg_text.h"
#include "tests/unit/rescue/hive_fill.h"

namespace {

// Runs a program found on PATH, its standard output to outPath when given;
// its exit status, or -1.
int RunProgram(const std::vector<std::string>& args, const std::string& outPath = "") {
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (!outPath.empty()) {
            const int fd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd < 0 || dup2(fd, 1) < 0) _exit(126);
        }
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

bool HaveProgram(const char* name) {
    return RunProgram({"sh", "-c", std::string("command -v ") + name + " >/dev/null"}) == 0;
}

std::vector<std::uint8_t> Wide(const std::u16string& text, bool withZero = true) {
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    if (withZero) bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

struct Case {
    const char* what;
    std::u16string key;  // below the hive's root
    std::u16string name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
};

std::vector<Case> Cases() {
    const std::u16string cyrillic = u"\u0417\u0430\u043f\u0443\u0441\u043a";
    const std::u16string greek = u"\u0395\u03ba\u03ba\u03af\u03bd\u03b7\u03c3\u03b7";
    const std::u16string cjk = u"\u542f\u52a8\u9879";
    const std::u16string emoji = u"\U0001F600\U0001F680";
    const std::u16string key = u"Qxq";
    return {
        {"Cyrillic name and text", key, cyrillic, kRegSz, Wide(u"\u041f\u0440\u0438")},
        {"Greek name, expandable", key, greek, kRegExpandSz, Wide(u"%SystemRoot%\\\u03b1.exe")},
        {"CJK name, multi", key, cjk, kRegMultiSz,
         Wide(std::u16string(u"\u4e2d\u6587\0\u65e5\u672c\0", 6))},
        {"emoji name, binary", key, emoji, kRegBinary, {0x00, 0xFF, 0x0D, 0x0A, 0x22, 0x5C}},
        {"emoji text", key, u"e", kRegSz, Wide(emoji)},
        {"number", key, u"\u03a9", kRegDword, {0x0A, 0x00, 0x01, 0x80}},
        {"qword", key, u"\u043a\u043b", kRegQword, {1, 2, 3, 4, 5, 6, 7, 0x88}},
        {"no type, with data", key, u"none", kRegNone, {7, 0}},
        {"no type, empty", key, u"none0", kRegNone, {}},
        {"empty text", key, u"sz0", kRegSz, {}},
        {"text without its zero", key, u"sz-open", kRegSz, Wide(u"ab", false)},
        {"text of odd length", key, u"sz-odd", kRegSz, {0x61, 0, 0}},
        {"ASCII text", key, u"plain", kRegSz, Wide(u"C:\\a b\\\"q\".exe")},
        {"quotes, backslash and bracket in a name", key, u"a\"b\\c]\u0416", kRegSz, Wide(u"x")},
        {"the default value", key, u"", kRegSz, Wide(u"\u00e9\u4e2d")},
        {"long binary", key, u"long", kRegBinary, std::vector<std::uint8_t>(300, 0xA7)},
        {"Cyrillic subkey", key + u"\\" + cyrillic, u"v", kRegSz, Wide(u"1")},
        {"CJK subkey, its default", key + u"\\" + cjk, u"", kRegExpandSz, Wide(cjk)},
        {"emoji subkey below Greek", key + u"\\" + greek + u"\\" + emoji, emoji, kRegMultiSz,
         Wide(std::u16string(u"\U0001F511\0", 3))},
    };
}

// The backup text as the offline side writes it: each key after its parent.
std::u16string BackupText() {
    std::u16string text = Reg5Header() + Reg5CommentLine("merged by hivexregedit");
    const char* root = "HKEY_LOCAL_MACHINE";
    std::u16string lastKey;
    for (const Case& c : Cases()) {
        if (c.key != lastKey) {
            // Parents first: a merge makes a key only under an existing one.
            std::size_t at = 0;
            while ((at = c.key.find(u'\\', at)) != std::u16string::npos) {
                const std::u16string parent = c.key.substr(0, at++);
                if (lastKey.rfind(parent, 0) != 0) {
                    text += Reg5KeyLine(Reg5KeyName(root, u"SOFTWARE\\" + parent, false));
                }
            }
            text += Reg5KeyLine(Reg5KeyName(root, u"SOFTWARE\\" + c.key, false));
            lastKey = c.key;
        }
        text += Reg5ValueLine(c.name, c.type, c.data.data(), c.data.size());
    }
    return text;
}

class Reg5Hivex : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        for (const char* tool : {"hivexregedit", "iconv"}) {
            if (!HaveProgram(tool)) GTEST_SKIP() << tool << " is missing";
        }
        char templ[] = "/tmp/quellix-reg5-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        top_ = templ;
    }
    void TearDown() override {
        if (!top_.empty()) std::filesystem::remove_all(top_);
    }
    std::string top_;
};

// false: the UTF-8 form straight in; true: the UTF-16LE file through iconv.
TEST_P(Reg5Hivex, MergedValuesComeBackByteForByte) {
    const bool utf16File = GetParam();
    const std::string hive = top_ + "/SOFTWARE";
    {
        HiveFill fill(hive, "SOFTWARE");
        ASSERT_TRUE(fill.Ok());
        ASSERT_TRUE(fill.Commit());
    }
    const std::u16string text = BackupText();
    std::string reg = top_ + "/backup.reg";
    if (utf16File) {
        std::ofstream(top_ + "/backup16.reg", std::ios::binary) << Reg5FileBytes(text, true);
        ASSERT_EQ(
            RunProgram({"iconv", "-f", "UTF-16LE", "-t", "UTF-8", top_ + "/backup16.reg"}, reg), 0);
    } else {
        std::string utf8;
        ASSERT_TRUE(Utf8FromUtf16(text, utf8));
        std::ofstream(reg, std::ios::binary) << utf8;
    }
    ASSERT_EQ(RunProgram({"hivexregedit", "--merge", "--prefix", "HKEY_LOCAL_MACHINE\\SOFTWARE",
                          hive, reg}),
              0);

    hive_h* h = hivex_open(hive.c_str(), 0);
    ASSERT_NE(h, nullptr);
    for (const Case& c : Cases()) {
        std::string key, name;
        ASSERT_TRUE(Utf8FromUtf16(c.key, key) && Utf8FromUtf16(c.name, name)) << c.what;
        hive_node_h node = hivex_root(h);
        std::stringstream parts(key);
        std::string part;
        while (node != 0 && std::getline(parts, part, '\\')) {
            node = hivex_node_get_child(h, node, part.c_str());
        }
        ASSERT_NE(node, 0u) << c.what;
        hive_value_h value = hivex_node_get_value(h, node, name.c_str());
        ASSERT_NE(value, 0u) << c.what;
        hive_type type;
        std::size_t length = 0;
        char* data = hivex_value_value(h, value, &type, &length);
        ASSERT_NE(data, nullptr) << c.what;
        EXPECT_EQ(std::vector<std::uint8_t>(data, data + length), c.data) << c.what;
        EXPECT_EQ(static_cast<std::uint32_t>(type), c.type) << c.what;
        std::free(data);
    }
    hivex_close(h);
}

INSTANTIATE_TEST_SUITE_P(BothFileForms, Reg5Hivex, ::testing::Bool());

}  // namespace
