// Seeds for the hive fuzzer: an empty hive from the sample maker, hives
// filled through hivex as a SOFTWARE, a user's and a SYSTEM hive of an
// infected Windows look, and hostile shapes made from them: a hive cut at a
// bin's end, a subkey list with a damaged entry, a value whose data length
// lies, subkey lists that name one child twice on every level, a key of many
// values. Usage: make_seeds DIR
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/fuzz/seed_file.h"
#include "tests/unit/rescue/hive_fill.h"
#include "tools/samples/empty_hive.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string dir = argv[1];
    bool ok = true;
    {
        std::vector<std::uint8_t> empty = EmptyHive("ROOT");
        ok = WriteSeedFile(dir + "/empty", empty.data(), empty.size());
    }
    const std::string run = "Microsoft\\Windows\\CurrentVersion\\Run";
    {
        HiveFill h(dir + "/software", "ROOT");
        h.Text(run, "win_upd2.exe", "C:\\WINDOWS\\SYSTEM32\\windirect.exe");
        h.Text(run, "wersds.exe", "x SYSDIR y");
        h.Text(run, "QxHit", "\"C:\\WINDOWS\\system32\\wormsvc.exe\" -q");
        h.Text(run, "QxEnv", "%SystemRoot%\\system32\\wormsvc.exe", 2);
        h.Text(run, "QxDecoy", "C:\\Program Files\\App\\app.exe");
        h.Dword(run, "QxDword", 1);
        h.Text("Microsoft\\Windows\\CurrentVersion\\Ru1n", "erthgdr", "%sysdir%\\windll.exe");
        h.Text("Wow6432Node\\" + run, "QxHit32", "C:\\WINDOWS\\system32\\wormsvc.exe");
        ok = h.Commit() && ok;
    }
    {
        HiveFill h(dir + "/ntuser", "ROOT");
        h.Text("Software\\" + run, "gouday.exe", "C:\\WINDOWS\\system32\\readme.exe");
        h.Text("Software\\" + run, "bawindo", "c:\\apps\\bawindo.exe");
        h.Text("Software\\" + run, "sysformat", "C:\\WINDOWS\\system32\\sysformat.exe");
        h.Text("Software\\Microsoft\\Params", "TimeKey", "1");
        h.Text("Software\\Microsoft\\Params", "riga", "2");
        h.Text("Software\\DateTime2", "x", "1");
        h.Dword("Software\\DateTime3\\Deeper", "n", 3);
        h.Value("Software\\Odd", "Unicode", 1, {0x41, 0x04, 0, 0});
        ok = h.Commit() && ok;
    }
    {
        HiveFill h(dir + "/system", "SYSTEM");
        h.Dword("Select", "Current", 2);
        h.Text("ControlSet001\\Services\\wormsvc", "ImagePath",
               "%SystemRoot%\\system32\\wormsvc.exe", 2);
        h.Dword("ControlSet001\\Services\\wormsvc\\Enum", "Count", 1);
        h.Value("ControlSet001\\Services\\wormsvc\\Security", "Security", 3, {1, 0, 4, 0x80});
        h.Text("ControlSet002\\Services\\wormsvc", "ImagePath",
               "\\SystemRoot\\System32\\WORMSVC.EXE -k", 2);
        h.Text("ControlSet002\\Services\\other", "ImagePath", "C:\\x.exe");
        ok = h.Commit() && ok;
    }
    // The hostile shapes, each a changed copy of a filled hive.
    auto copy = [&](const std::string& from, const std::string& to) {
        std::error_code ec;
        std::filesystem::copy_file(dir + "/" + from, dir + "/" + to,
                                   std::filesystem::copy_options::overwrite_existing, ec);
        ok = !ec && ok;
        return dir + "/" + to;
    };
    {
        const std::string cut = copy("software", "cut-at-bin");
        ok = truncate(cut.c_str(), 8192) == 0 && ok;
    }
    {
        const std::string damaged = copy("software", "damaged-subkey-entry");
        const std::size_t list = SubkeyListOf(damaged, "Microsoft\\Windows\\CurrentVersion");
        ok = list != 0 && ok;
        if (list != 0) WriteWord(damaged, list + 4 + 4, 0x7FFFF000);
    }
    {
        const std::string lying = copy("software", "lying-data-length");
        const std::size_t vk = CellOf(lying, run, "QxHit");
        ok = vk != 0 && ok;
        if (vk != 0) WriteWord(lying, vk + 4 + 4, 0x00100000);
    }
    {
        const std::string deep = dir + "/one-child-twice";
        {
            HiveFill h(deep, "ROOT");
            h.Text("Software\\" + run, "gouday.exe", "C:\\WINDOWS\\system32\\readme.exe");
            std::string key = "Software\\DateTime2";
            for (int level = 0; level < 40; ++level, key += "\\a") h.Key(key + "\\b");
            h.Key(key);
            ok = h.Commit() && ok;
        }
        std::string key = "Software\\DateTime2";
        for (int level = 0; level < 40; ++level, key += "\\a") {
            const std::size_t list = SubkeyListOf(deep, key);
            ok = list != 0 && ok;
            if (list == 0) break;
            WriteWord(deep, list + 4 + 12, ReadWord(deep, list + 4 + 4));
            WriteWord(deep, list + 4 + 16, ReadWord(deep, list + 4 + 8));
        }
    }
    {
        HiveFill h(dir + "/many-run-values", "ROOT");
        std::vector<std::pair<std::string, std::string>> values;
        for (int i = 0; i < 300; ++i) {
            values.emplace_back("v" + std::to_string(i),
                                i % 100 == 7 ? "C:\\WINDOWS\\system32\\wormsvc.exe" : "C:\\x.exe");
        }
        h.Texts(run, values);
        ok = h.Commit() && ok;
    }
    return ok ? 0 : 1;
}
