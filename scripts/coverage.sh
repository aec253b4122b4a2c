#!/usr/bin/env bash
# Measures how much of the Linux platform layer the native tests execute. Builds build/coverage with
# gcov instrumentation and without the sanitizers, runs every native test once from clean counters,
# and prints gcov's line figures for platform/posix/*.cpp, each function's with -f. The native
# stand-in utility's entry, standins/utility/posix_main.cpp, is shown beside them.
#
#     scripts/coverage.sh [-f]
#
# The launcher, the unit tests and the stand-in utility share the platform library's object files,
# so their counts add up in the same .gcda files.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$(pwd)
build="$source_dir/build/coverage"
functions=""
if [[ "${1:-}" == "-f" ]]; then
    functions="-f"
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DMXV_SANITIZE=OFF \
    -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_EXE_LINKER_FLAGS=--coverage \
    -DCMAKE_SHARED_LINKER_FLAGS=--coverage -DCMAKE_MODULE_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$build" -j2
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" -j2 --output-on-failure || echo "coverage.sh: some tests failed" >&2

# gcov's JSON form names, for each source file, its lines and functions with their counts.
report="$build/gcov"
rm -rf "$report"
mkdir -p "$report"
cd "$report"
find "$build" -name 'posix_*.gcno' -print0 |
    xargs -0 -r gcov --json-format --demangled-names >/dev/null 2>&1
python3 - "$source_dir/" "$functions" *.gcov.json.gz <<'PYTHON'
import gzip, json, sys

source, show_functions, paths = sys.argv[1], sys.argv[2] == "-f", sys.argv[3:]
shown = ("platform/posix/", "standins/utility/posix_main.cpp")
STRING = "std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >"
total_lines = total_executed = 0
for path in paths:
    with gzip.open(path) as f:
        data = json.load(f)
    cwd = data.get("current_working_directory", "")
    for entry in data["files"]:
        name = entry["file"]
        if not name.startswith("/"):
            name = cwd + "/" + name
        relative = name[len(source):] if name.startswith(source) else ""
        if not relative.startswith(shown):
            continue
        executed = sum(1 for line in entry["lines"] if line["count"] > 0)
        lines = len(entry["lines"])
        if relative.startswith("platform/posix/"):
            total_lines += lines
            total_executed += executed
        print("%s: %.1f%% of %d lines executed" % (relative, 100.0 * executed / lines, lines))
        if show_functions:
            for function in sorted(entry["functions"], key=lambda f: f["start_line"]):
                name = function["demangled_name"].replace(STRING, "std::string")
                name = name.replace("platform::(anonymous namespace)::", "")
                print("  %5d  %-50s runs %d" % (function["start_line"], name,
                                               function["execution_count"]))
if total_lines:
    print("platform/posix: %.1f%% of %d lines executed" % (100.0 * total_executed / total_lines,
                                                            total_lines))
PYTHON
