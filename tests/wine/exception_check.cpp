// A Windows test program, run under Wine: throws C++ exceptions through the unwinder, exception
// support and start-up code that the 32-bit launcher links from this build, and checks that each
// reaches its handler with the objects between unwound. Prints each case that fails; exits with 0
// when all pass.
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

namespace {

int destroyed = 0;

struct CountsDestruction {
    ~CountsDestruction() { ++destroyed; }
};

// Two frames with an object each, so the exception unwinds through cleanups before its handler.
[[gnu::noinline]] void Throws(const std::string& message) {
    CountsDestruction inner;
    throw std::runtime_error(message);
}

[[gnu::noinline]] void CallsThrows(const std::string& message) {
    CountsDestruction outer;
    Throws(message);
}

// Each case returns the text of its failure, or nullptr.
const char* ThrownThroughFrames() {
    destroyed = 0;
    try {
        CallsThrows("through two frames");
    } catch (const std::exception& error) {
        return std::string(error.what()) == "through two frames" && destroyed == 2
                   ? nullptr
                   : "the exception or the cleanups of its frames were lost";
    }
    return "nothing was thrown";
}

const char* ThrownByTheStringLibrary() {
    try {
        volatile std::size_t position = 10;
        static_cast<void>(std::string("short").at(position));
        return "no exception";
    } catch (const std::out_of_range&) {
        return nullptr;
    }
}

const char* AllocationFailure() {
    try {
        volatile std::size_t size = static_cast<std::size_t>(-1) / 2;
        char* volatile memory = new char[size];
        delete[] memory;
        return "the allocation of 2 GB succeeded";
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

const char* RethrownFromCatchAll() {
    destroyed = 0;
    try {
        try {
            CallsThrows("rethrown");
        } catch (...) {
            throw;
        }
    } catch (const std::runtime_error& error) {
        return std::string(error.what()) == "rethrown" && destroyed == 2 ? nullptr
                                                                         : "the rethrow was lost";
    }
    return "nothing was rethrown";
}

} // namespace

int main() {
    const struct {
        const char* name;
        const char* (*run)();
    } cases[] = {{"thrown through frames", ThrownThroughFrames},
                 {"thrown by the string library", ThrownByTheStringLibrary},
                 {"allocation failure", AllocationFailure},
                 {"rethrown from catch-all", RethrownFromCatchAll}};
    int failed = 0;
    for (const auto& each : cases) {
        if (const char* failure = each.run()) {
            std::printf("FAIL %s: %s\n", each.name, failure);
            ++failed;
        }
    }
    std::printf("%d of %u cases failed\n", failed,
                static_cast<unsigned>(sizeof cases / sizeof *cases));
    return failed == 0 ? 0 : 1;
}
