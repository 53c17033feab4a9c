#include "scan/scanned_file.h"

int ScannedFile::Descriptor() {
    if (open_ == Open::NotYet) {
        file_ = platform::ScopedFile(path_ ? platform::OpenReadBinary(path_) : platform::kNoFile);
        open_ = file_.IsOpen() ? Open::Done : Open::Failed;
        blocks_.Attach(file_.Get());
    }
    return file_.Get();
}

FileBytes ScannedFile::Bytes() {
    const int fd = Descriptor();
    if (reads_ == Reads::Exact) return FileBytes(fd);
    return FileBytes(blocks_);
}

std::int64_t ScannedFile::Length() {
    if (Descriptor() == platform::kNoFile) return -1;
    if (!lengthTaken_) {
        length_ = platform::FileLength(file_.Get());
        lengthTaken_ = true;
        blocks_.SetLength(length_);
    }
    return length_;
}

void ScannedFile::CloseForRemoval() {
    file_.Close();
    blocks_.Attach(platform::kNoFile);
    open_ = Open::NotYet;
    lengthTaken_ = false;
    length_ = -1;
}
