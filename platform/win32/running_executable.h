// The decision whether a running process has a given file as its executable, made from the
// system's list of processes as plain values, so that every undecided case can be tested on any
// machine. It takes no Windows header: the Windows host instantiates it for std::wstring and the
// system's code page, the unit tests for std::u16string and a model of a code page.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/win32/code_page.h"

namespace platform {

// One entry of the process list: the process's id and its executable's file name, as 8-bit text
// in the system's code page, which is how the list gives it.
struct ProcessEntry {
    unsigned long id;
    std::string exeFile;
};

// Whether two paths are equal, ASCII letters compared without regard to case. Both sides come from
// the one text that the launcher composed and started the utility with, so only the case of the
// drive letter and of a short name, which are ASCII, can differ.
template <typename String> bool SamePath(const String& a, const String& b) {
    const auto fold = [](typename String::value_type c) {
        return c >= 'a' && c <= 'z' ? static_cast<typename String::value_type>(c - 32) : c;
    };
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return true;
}

// The last part of a path.
template <typename String> String FileNameOf(const String& path) {
    const std::size_t separator = path.find_last_of(static_cast<typename String::value_type>('\\'));
    return separator == String::npos ? path : path.substr(separator + 1);
}

// True when a path that the process list gave may differ from the executable's real path: it holds
// a "?", which no file name holds, so some letter did not fit the code page; or its 8-bit form
// reaches the cut, less one byte for a double-byte character that the cut may have dropped.
template <typename String> bool MayBeInexact(const std::string& bytes, const String& path) {
    return bytes.size() + 1 >= kReportedPathBytes ||
           path.find(static_cast<typename String::value_type>('?')) != String::npos;
}

// Whether a process in the list runs one of forms (a path and its short form, which is empty
// where the system gives none and then matches no process). Only processes whose executable has
// the file name of a form are looked at closely: modulePath(id, bytes) gives the full path of that
// process's executable, the first entry of its module list, and returns false when it cannot be
// read. On Windows 2000 and XP the process list gives that path only as 8-bit text in the code
// page, cut at kReportedPathBytes bytes, whichever form of the list's calls is used; so each form
// is compared as the list would give it, through the code page. Every case that cannot be decided
// counts as running, because the caller then leaves the file alone: a list that could not be read
// (listRead false), an empty list (it always holds the caller itself, so it was not read either),
// a process of that name whose module list cannot be read (it has ended, or is not the caller's to
// look into), and one whose path the list gives in a form that may not be exact.
template <typename CodePage, typename String, typename ModulePath>
bool ExecutableRuns(const CodePage& page, bool listRead, const std::vector<ProcessEntry>& processes,
                    const std::vector<String>& forms, ModulePath modulePath) {
    if (!listRead || processes.empty()) {
        return true;
    }
    for (const ProcessEntry& process : processes) {
        const String name = FileNameOf(page.Widen(process.exeFile));
        bool named = false;
        for (const String& form : forms) {
            named = named || (!form.empty() && SamePath(name, FileNameOf(form)));
        }
        if (!named) {
            continue;
        }
        std::string bytes;
        if (!modulePath(process.id, bytes)) {
            return true;
        }
        const String path = page.Widen(bytes);
        if (MayBeInexact(bytes, path)) {
            return true;
        }
        for (const String& form : forms) {
            if (!form.empty() &&
                (SamePath(path, form) || SamePath(path, ReportedPath(page, form)))) {
                return true;
            }
        }
    }
    return false;
}

} // namespace platform
