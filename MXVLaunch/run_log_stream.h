// The run log's stream: a file opened to append to, written one whole entry per append.
#pragma once

#include <string>

#include "platform/host.h"

// A file that every run appends to. Each Append is one write that the system makes atomic against
// other processes appending at the same time, so no entry of a concurrent run is lost. A stream
// that failed to open, or whose append fell short, is failed for good, like a standard stream whose
// state went bad. The file is closed by Close or, at the latest, by the destructor.
class RunLogStream {
public:
    RunLogStream() = default;
    ~RunLogStream();
    RunLogStream(const RunLogStream&) = delete;
    RunLogStream& operator=(const RunLogStream&) = delete;

    // Opens path, in Windows form, to append to, creating the file when it is missing. Returns
    // false, and marks the stream failed, when it does not open.
    bool Open(const std::string& path);
    // Marks the stream failed without opening anything.
    void SetFailed();
    // Whether the open or an append failed.
    bool Failed() const;
    // Appends text in one write, each line feed written as the platform's line end, holding the
    // file's append turn when it can be had within about two seconds (without it otherwise).
    // Returns false, and marks the stream failed, when the stream is not open or not all of text
    // was written.
    bool Append(const std::string& text);
    // Closes the file if it is open. Returns false when the system reported that the close failed.
    bool Close();

private:
    platform::Handle file_ = nullptr;
    bool failed_ = false;
};
