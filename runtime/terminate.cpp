// The C++ runtime's termination: std::terminate, std::unexpected and their handlers, as the runtime
// calls them when an exception finds no handler or leaves a function that may not throw. The
// default handler is the process's abort, which ends it at once with the C library's abort code.
// The runtime's own default handler would first print the exception's type on the standard error
// stream, which a program of the GUI subsystem does not have, and it brings the demangler and
// MinGW's own printf into the image; the prebuilt copies are also compiled for a later processor.
#include <cstdlib>
#include <exception>

namespace {

// The handler types without the library's deprecation mark on the unexpected handler's type.
using Handler = void (*)();

} // namespace

namespace __cxxabiv1 {

// The handlers the runtime's personality routine reads, under the runtime's own names.
extern std::terminate_handler __terminate_handler;
extern Handler __unexpected_handler;
std::terminate_handler __terminate_handler = std::abort;

[[noreturn]] void __terminate(std::terminate_handler handler) noexcept;
[[noreturn]] void __unexpected(Handler handler);

// Runs a terminate handler; one that returns or throws ends the process all the same.
void __terminate(std::terminate_handler handler) noexcept {
    try {
        handler();
        std::abort();
    } catch (...) {
        std::abort();
    }
}

// Runs an unexpected handler, which must throw or end the process; if it returns, std::terminate.
void __unexpected(Handler handler) {
    handler();
    std::terminate();
}

} // namespace __cxxabiv1

namespace std {

// A null handler stands for the default one, as the standard has it.
terminate_handler set_terminate(terminate_handler handler) noexcept {
    if (handler == nullptr) {
        handler = std::abort;
    }
    return __atomic_exchange_n(&__cxxabiv1::__terminate_handler, handler, __ATOMIC_ACQ_REL);
}

terminate_handler get_terminate() noexcept {
    return __atomic_load_n(&__cxxabiv1::__terminate_handler, __ATOMIC_ACQUIRE);
}

void terminate() noexcept {
    __cxxabiv1::__terminate(get_terminate());
}

Handler set_unexpected(Handler handler) noexcept {
    if (handler == nullptr) {
        handler = std::terminate;
    }
    return __atomic_exchange_n(&__cxxabiv1::__unexpected_handler, handler, __ATOMIC_ACQ_REL);
}

Handler get_unexpected() noexcept {
    return __atomic_load_n(&__cxxabiv1::__unexpected_handler, __ATOMIC_ACQUIRE);
}

void unexpected() {
    __cxxabiv1::__unexpected(__atomic_load_n(&__cxxabiv1::__unexpected_handler, __ATOMIC_ACQUIRE));
}

} // namespace std
