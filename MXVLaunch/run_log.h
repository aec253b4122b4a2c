// The run log: one line appended per run to debug.log in the Temp folder of the Windows directory.
#pragma once

#include <ctime>
#include <string>

#include "MXVLaunch/run_log_stream.h"
#include "platform/host.h"

// The log file's path in Windows form, as OpenRunLog composed it.
extern std::string logFilePath;

// Composes the path, stores it in logFilePath and opens the stream to append. A file that does not
// open is announced on standard output and leaves the stream failed, so that every entry is
// dropped; the result is still true. Returns false only when an error was raised.
bool OpenRunLog(RunLogStream& stream);

// Writes one entry with the current local time, in one append, unless the stream has failed.
// Returns false only when an error was raised; an append that fails is not one.
bool WriteLogEntry(RunLogStream& stream, const std::string& message);

// Closes the stream. Returns false only when an error was raised; a close that the system reports
// as failed is not one.
bool CloseRunLog(RunLogStream& stream);

// The 24 characters of the C library's ctime layout for time, without its newline, for example
// "Wed Mar  5 09:04:07 2025".
std::string CtimeText(const std::tm& time);

// One entry: the bracketed timestamp, the message and the three constant fields, ending in a
// newline.
std::string FormatLogEntry(const std::tm& time, const std::string& message);

// The same entry for a time read from the system's calendar.
std::string FormatLogEntry(const platform::SystemTime& time, const std::string& message);
