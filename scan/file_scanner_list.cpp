#include "scan/file_scanner_list.h"

#include "detect/executable_scanner.h"
#include "detect/script/script_cleaner.h"
#include "scan/report_texts.h"
#include "scan/scanned_file.h"

const FileScannerEntry FileScannerList[] = {
    {texts::kDefaultDetectionName, ScanExecutableFile},
    {texts::kDefaultDetectionName, CleanScriptFile},
    {nullptr, nullptr},
};

void RunFileScanners(const char* path) {
    ScannedFile file(path);
    for (const FileScannerEntry* s = FileScannerList; s->scanner; ++s) {
        if (s->scanner(s->defaultName, file) != 0) break;
    }
}
