// The decision whether a running process has a given file as its executable, made from the
// system's list of processes as plain values, so that every undecided case can be tested on any
// machine. It takes no Windows header: the Windows host instantiates it for std::wstring, the unit
// tests for std::u16string.
#pragma once

#include <cstddef>
#include <vector>

namespace platform {

// One entry of the process list: the process's id and its executable's file name.
template <typename String> struct ProcessEntry {
    unsigned long id;
    String exeFile;
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

// Whether a process in the list runs one of forms (a path and its short form, which is empty
// where the volume keeps no short names and then matches no process). Only processes whose
// executable has the file name of a form are looked at closely: modulePath(id, path) gives the full
// path of that process's executable, the first entry of its module list, and returns false when it
// cannot be read. Every case that cannot be decided counts as running, because the caller then
// leaves the file alone: a list that could not be read (listRead false), an empty list (it always
// holds the caller itself, so it was not read either), and a process of that name whose module list
// cannot be read (it has ended, or is not the caller's to look into).
template <typename String, typename ModulePath>
bool ExecutableRuns(bool listRead, const std::vector<ProcessEntry<String>>& processes,
                    const std::vector<String>& forms, ModulePath modulePath) {
    if (!listRead || processes.empty()) {
        return true;
    }
    for (const ProcessEntry<String>& process : processes) {
        const String name = FileNameOf(process.exeFile);
        for (const String& form : forms) {
            if (!SamePath(name, FileNameOf(form))) {
                continue;
            }
            String path;
            if (!modulePath(process.id, path) || SamePath(path, form)) {
                return true;
            }
        }
    }
    return false;
}

} // namespace platform
