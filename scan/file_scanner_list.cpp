#include "scan/file_scanner_list.h"

#include "detect/executable_scanner.h"
#include "detect/script/script_cleaner.h"
#include "scan/report_texts.h"

const FileScannerEntry FileScannerList[] = {
    {texts::kDefaultDetectionName, ScanExecutableFile},
    {texts::kDefaultDetectionName, CleanScriptFile},
    {nullptr, nullptr},
};
