// The run log's stream over the host's append-only file calls.
#include "MXVLaunch/run_log_stream.h"

namespace {

// The append turn is tried again after each pause while another process holds it, for at most
// this long in all. A holder that keeps it longer is stuck, and the entry is then appended without
// the turn: an entry that might interleave with another is better than a launcher that never ends.
constexpr unsigned kTurnPause = 50;
constexpr unsigned kTurnWaitLimit = 2000;

} // namespace

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
    if (failed_ || file_ == nullptr) {
        failed_ = true;
        return false;
    }
    platform::Host& host = platform::host();
    platform::AppendTurn turn = host.TryAppendTurn(file_);
    for (unsigned waited = 0; turn == platform::AppendTurn::Busy && waited < kTurnWaitLimit;
         waited += kTurnPause) {
        host.Pause(kTurnPause);
        turn = host.TryAppendTurn(file_);
    }
    failed_ = !host.AppendText(file_, text);
    if (turn == platform::AppendTurn::Taken) {
        host.ReleaseAppendTurn(file_);
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
