// The run log's stream over the host's append-only file calls.
#include "MXVLaunch/run_log_stream.h"

RunLogStream::~RunLogStream() {
    Close();
}

bool RunLogStream::Open(const std::string& path) {
    Close();
    file_ = platform::host().OpenFileForAppending(path);
    failed_ = file_ == nullptr;
    return !failed_;
}

void RunLogStream::SetFailed() {
    failed_ = true;
}

bool RunLogStream::Failed() const {
    return failed_;
}

bool RunLogStream::Append(const std::string& text) {
    if (failed_ || file_ == nullptr || !platform::host().AppendText(file_, text)) {
        failed_ = true;
    }
    return !failed_;
}

bool RunLogStream::Close() {
    if (file_ == nullptr) {
        return true;
    }
    platform::Handle file = file_;
    file_ = nullptr;
    return platform::host().CloseFile(file);
}
