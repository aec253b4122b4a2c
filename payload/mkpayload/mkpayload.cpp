// mkpayload: the payload build step. Reads the eleven input files, builds the resource and chunk
// tables, and writes them as one C++ source file, printing a summary.
//
//   mkpayload -o TABLES.cpp [--stored NAME]... FILE...
//
// On any bad input it names the file, writes nothing and removes an older output, so that a build
// can never go on with tables that do not match its inputs.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "payload/mkpayload/payload_builder.h"
#include "payload/payload_layout.h"

namespace {

int Usage() {
    std::cerr << "usage: mkpayload -o TABLES.cpp [--stored NAME]... FILE...\n";
    return 2;
}

// Reads a whole file. The size is checked before reading, so an oversized file is refused without
// being loaded.
bool ReadInput(const mkpayload::InputFile& input, std::string& content, std::string& error) {
    struct stat info {};
    if (stat(input.path.c_str(), &info) != 0) {
        error = input.path + ": cannot be read (it does not exist or is not accessible)";
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = input.path + ": cannot be read (it is not a regular file)";
        return false;
    }
    if (static_cast<std::uint64_t>(info.st_size) > mkpayload::kMaxFileSize) {
        error = input.path + ": " + std::to_string(info.st_size) +
                " bytes is too large for the payload tables (at most " +
                std::to_string(mkpayload::kMaxFileSize) + ")";
        return false;
    }
    std::ifstream in(input.path, std::ios::binary);
    std::ostringstream buffer;
    if (!in || !(buffer << in.rdbuf()) || in.bad()) {
        // An empty file makes the stream copy report failure without anything being wrong.
        if (!(in && info.st_size == 0)) {
            error = input.path + ": cannot be read";
            return false;
        }
    }
    content = buffer.str();
    if (content.size() != static_cast<std::size_t>(info.st_size)) {
        error = input.path + ": read " + std::to_string(content.size()) + " bytes of " +
                std::to_string(info.st_size);
        return false;
    }
    return true;
}

// Writes text to a temporary file beside output and renames it into place.
bool WriteOutput(const std::string& output, const std::string& text, std::string& error) {
    const std::string temporary = output + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            error = output + ": cannot be written";
            return false;
        }
    }
    if (std::rename(temporary.c_str(), output.c_str()) != 0) {
        std::remove(temporary.c_str());
        error = output + ": cannot be written";
        return false;
    }
    return true;
}

int Fail(const std::string& output, const std::string& error) {
    if (!output.empty()) {
        std::remove(output.c_str());
    }
    std::cerr << "mkpayload: error: " << error << "\n";
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    std::string output;
    std::vector<std::string> stored;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-o" && i + 1 < argc) {
            output = argv[++i];
        } else if (argument == "--stored" && i + 1 < argc) {
            stored.emplace_back(argv[++i]);
        } else if (!argument.empty() && argument[0] == '-') {
            return Usage();
        } else {
            paths.push_back(argument);
        }
    }
    if (output.empty()) {
        return Usage();
    }

    const std::vector<std::string> names(std::begin(payload::kPayloadNames),
                                         std::end(payload::kPayloadNames));
    std::vector<mkpayload::InputFile> inputs;
    std::string error;
    if (!mkpayload::OrderInputs(paths, stored, names, inputs, error)) {
        return Fail(output, error);
    }
    std::vector<mkpayload::BuiltFile> built(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        std::string content;
        if (!ReadInput(inputs[i], content, error) ||
            !mkpayload::BuildFile(inputs[i].name, content, inputs[i].stored, built[i], error)) {
            return Fail(output, error);
        }
    }
    if (!WriteOutput(output, mkpayload::EmitTables(built), error)) {
        return Fail(output, error);
    }
    std::cout << mkpayload::Summary(built);
    return 0;
}
