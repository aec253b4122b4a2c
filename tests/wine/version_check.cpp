// A Windows test program, run under Wine: reads the version resource of each given binary the way
// Explorer and the installer detection of Windows read it, and compares it with the project version
// the build was configured with.
//
//   version_check.exe FILE ORIGINAL_NAME [FILE ORIGINAL_NAME]...
//
// For each file: the fixed file and product versions must equal MXV_EXPECTED_VERSION (major, minor,
// patch, 0); the strings FileVersion and ProductVersion must equal it as text; ProductName must be
// "MXVLaunch"; OriginalFilename must be ORIGINAL_NAME; FileDescription must not be empty; and no
// string may contain a word that makes Windows Vista treat the program as an installer. Prints one
// line per check that fails and exits with 1 if any did.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#ifndef MXV_EXPECTED_VERSION
#error "MXV_EXPECTED_VERSION must name the project version, for example \"1.0.0\""
#endif

namespace {

int failures = 0;

void Fail(const std::string& file, const std::string& what) {
    std::printf("FAIL %s: %s\n", file.c_str(), what.c_str());
    ++failures;
}

// The expected version as four 16-bit parts; a missing part is 0.
bool ExpectedParts(unsigned parts[4]) {
    parts[0] = parts[1] = parts[2] = parts[3] = 0;
    return std::sscanf(MXV_EXPECTED_VERSION, "%u.%u.%u.%u", &parts[0], &parts[1], &parts[2],
                       &parts[3]) >= 1;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// The string value NAME of the first translation the resource lists, or nothing when it is absent.
bool StringValue(const std::vector<char>& block, const char* name, std::string& value) {
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                          reinterpret_cast<void**>(&translations), &length) ||
        length < sizeof(Translation)) {
        return false;
    }
    char path[128];
    std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", translations[0].language,
                  translations[0].codePage, name);
    char* text = nullptr;
    if (!::VerQueryValueA(block.data(), path, reinterpret_cast<void**>(&text), &length) ||
        text == nullptr) {
        return false;
    }
    value.assign(text);
    return true;
}

void CheckFile(const std::string& file, const std::string& originalName) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(file.c_str(), &ignored);
    if (size == 0) {
        Fail(file, "has no version resource");
        return;
    }
    std::vector<char> block(size);
    if (!::GetFileVersionInfoA(file.c_str(), 0, size, block.data())) {
        Fail(file, "GetFileVersionInfoA failed");
        return;
    }

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    unsigned parts[4];
    if (!ExpectedParts(parts)) {
        Fail(file, std::string("cannot read the expected version ") + MXV_EXPECTED_VERSION);
    } else if (!::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
               length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD) {
        Fail(file, "has no fixed version record");
    } else {
        const DWORD high = (parts[0] << 16) | parts[1];
        const DWORD low = (parts[2] << 16) | parts[3];
        if (fixed->dwFileVersionMS != high || fixed->dwFileVersionLS != low) {
            Fail(file, "file version is not " MXV_EXPECTED_VERSION);
        }
        if (fixed->dwProductVersionMS != high || fixed->dwProductVersionLS != low) {
            Fail(file, "product version is not " MXV_EXPECTED_VERSION);
        }
    }

    const struct {
        const char* name;
        std::string expected; // empty: any text that is not empty
    } strings[] = {
        {"FileVersion", MXV_EXPECTED_VERSION},
        {"ProductVersion", MXV_EXPECTED_VERSION},
        {"ProductName", "MXVLaunch"},
        {"OriginalFilename", originalName},
        {"FileDescription", ""},
        {"InternalName", ""},
    };
    for (const auto& wanted : strings) {
        std::string value;
        if (!StringValue(block, wanted.name, value)) {
            Fail(file, std::string("has no ") + wanted.name);
            continue;
        }
        if (wanted.expected.empty() ? value.empty() : value != wanted.expected) {
            Fail(file, std::string(wanted.name) + " is \"" + value + "\"");
        }
        for (const char* word : {"setup", "install", "update", "patch"}) {
            if (Lower(value).find(word) != std::string::npos) {
                Fail(file, std::string(wanted.name) + " \"" + value + "\" holds \"" + word + "\"");
            }
        }
        std::printf("%s: %s = %s\n", file.c_str(), wanted.name, value.c_str());
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc % 2 != 1) {
        std::fprintf(stderr, "usage: version_check FILE ORIGINAL_NAME [FILE ORIGINAL_NAME]...\n");
        return 2;
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        CheckFile(argv[i], argv[i + 1]);
    }
    std::printf("%s\n", failures == 0 ? "all version resources match" : "version resources differ");
    return failures == 0 ? 0 : 1;
}
