// The names of the eleven embedded files, in the order of the resource table. The build reads this
// list too, to collect the input files, so it is kept here and nowhere else.
#pragma once

namespace payload {

constexpr const char* kPayloadNames[] = {
    "msvcm90.dll",     "msvcp90.dll",  "msvcr90.dll",    "Microsoft.VC90.CRT.manifest",
    "NQVQlar.exe",     "NQVLang.dll",  "ZeConfTest.dll", "Ze2ConfTest.dll",
    "Ze3ConfTest.dll", "TraceLib.dll", "QlarHelp.htm",
};

constexpr unsigned kPayloadNameCount = sizeof(kPayloadNames) / sizeof(kPayloadNames[0]);

} // namespace payload
