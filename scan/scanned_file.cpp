#include "scan/scanned_file.h"

int ScannedFile::Descriptor() {
    if (open_ == Open::NotYet) {
        file_ = platform::ScopedFile(path_ ? platform::OpenReadBinary(path_) : platform::kNoFile);
        open_ = file_.IsOpen() ? Open::Done : Open::Failed;
    }
    return file_.Get();
}

std::int64_t ScannedFile::Length() {
    if (Descriptor() == platform::kNoFile) return -1;
    if (!lengthTaken_) {
        length_ = platform::FileLength(file_.Get());
        lengthTaken_ = true;
    }
    return length_;
}

void ScannedFile::CloseForRemoval() {
    file_.Close();
    open_ = Open::NotYet;
    lengthTaken_ = false;
    length_ = -1;
}
