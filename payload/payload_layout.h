// The names of the eleven embedded files, in the order of the resource table, and the length of the
// chunks they are cut into. The build reads the list of names too, to collect the input files, and
// the build step cuts the chunks, so both are kept here and nowhere else.
#pragma once

#include <cstdint>

namespace payload {

// Every chunk but the last of a file's run holds this many bytes; the last holds the rest, 1 to
// this many.
constexpr std::int32_t kChunkLength = 26;

constexpr const char* kPayloadNames[] = {
    "msvcm90.dll",     "msvcp90.dll",  "msvcr90.dll",    "Microsoft.VC90.CRT.manifest",
    "NQVQlar.exe",     "NQVLang.dll",  "ZeConfTest.dll", "Ze2ConfTest.dll",
    "Ze3ConfTest.dll", "TraceLib.dll", "QlarHelp.htm",
};

constexpr unsigned kPayloadNameCount = sizeof(kPayloadNames) / sizeof(kPayloadNames[0]);

} // namespace payload
