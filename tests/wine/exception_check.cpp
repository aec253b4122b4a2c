// A Windows test program, run under Wine: throws C++ exceptions through the unwinder, exception
// support and start-up code that the 32-bit launcher links from this build, from our own code, from
// the allocator and from the prebuilt string library, and checks that each reaches its handler with
// the objects in between destroyed. Prints each case that fails; exits with 0 when all pass.
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

namespace {

int destroyed = 0;

struct CountsDestruction {
    ~CountsDestruction() { ++destroyed; }
};

// Throws what Throw throws from two frames down, each with an object to destroy on the way out.
template <typename Throw> [[gnu::noinline]] void Inner(Throw raise) {
    CountsDestruction inner;
    raise();
}

template <typename Throw> [[gnu::noinline]] void Outer(Throw raise) {
    CountsDestruction outer;
    Inner(raise);
}

// Whether an exception of type Caught reaches its handler through both frames.
template <typename Caught, typename Throw> bool Reaches(Throw raise) {
    destroyed = 0;
    try {
        Outer(raise);
    } catch (const Caught&) {
        return destroyed == 2;
    }
    return false;
}

} // namespace

int main() {
    volatile std::size_t huge = static_cast<std::size_t>(-1) / 2;
    const struct {
        const char* name;
        bool passed;
    } cases[] = {
        {"our own throw", Reaches<std::exception>([] { throw std::runtime_error("ours"); })},
        {"allocation failure", Reaches<std::bad_alloc>([&] {
             char* volatile memory = new char[huge];
             delete[] memory;
         })},
        {"string library",
         Reaches<std::out_of_range>([&] { static_cast<void>(std::string("short").at(huge)); })},
    };
    int failed = 0;
    for (const auto& each : cases) {
        if (!each.passed) {
            std::printf("FAIL: %s did not reach its handler\n", each.name);
            ++failed;
        }
    }
    return failed == 0 ? 0 : 1;
}
