// quellix-write-samples DIR: writes one synthetic sample of every detection
// kind into DIR as KIND-sample and prints "KIND-sample<TAB>DETECTION NAME"
// for each, so a test can plant them and know the lines a scan must print.
#include <cstdio>
#include <string>

#include "tools/command_line.h"
#include "tools/samples/detection_samples.h"

namespace {

constexpr char kProgram[] = "quellix-write-samples";

const char kUsage[] =
    "Usage: quellix-write-samples DIR\n"
    "       quellix-write-samples --help | --version\n"
    "\n"
    "Writes one synthetic sample of every detection kind into DIR as\n"
    "KIND-sample and prints \"KIND-sample<TAB>DETECTION NAME\" for each.\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this text and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "Exit status: 0 done, 1 a sample could not be written, 2 a wrong command\n"
    "line.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && IsHelpOption(argv[1])) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && IsVersionOption(argv[1])) {
        PrintVersion(kProgram, stdout);
        return 0;
    }
    if (argc != 2 || argv[1][0] == '-') {
        PrintUsageError(kProgram, "wrong command line", kUsage, stderr);
        return 2;
    }
    const std::vector<DetectionSample> samples = DetectionSamples();
    if (samples.empty()) {
        std::fprintf(stderr, "%s: no sample can be made from the shipped tables\n", kProgram);
        return 1;
    }
    for (const DetectionSample& sample : samples) {
        const std::string name = sample.kind + "-sample";
        if (!WriteSampleFile(std::string(argv[1]) + "/" + name, sample.bytes)) {
            std::fprintf(stderr, "%s: cannot write %s/%s\n", kProgram, argv[1], name.c_str());
            return 1;
        }
        std::printf("%s\t%s\n", name.c_str(), sample.detectionName.c_str());
    }
    return 0;
}
