#include "scan/file_scanner_list.h"

#include "scan/report_texts.h"

const FileScannerEntry FileScannerList[] = {
    {nullptr, nullptr},
};
