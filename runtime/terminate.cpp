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

// Installs a handler in its slot, the default one in place of null as the standard has it, and
// returns the handler that was there.
Handler Install(Handler& slot, Handler handler, Handler byDefault) noexcept {
    return __atomic_exchange_n(&slot, handler != nullptr ? handler : byDefault, __ATOMIC_ACQ_REL);
}

// The handler in a slot.
Handler Current(Handler& slot) noexcept {
    return __atomic_load_n(&slot, __ATOMIC_ACQUIRE);
}

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

terminate_handler set_terminate(terminate_handler handler) noexcept {
    return Install(__cxxabiv1::__terminate_handler, handler, std::abort);
}

terminate_handler get_terminate() noexcept {
    return Current(__cxxabiv1::__terminate_handler);
}

void terminate() noexcept {
    __cxxabiv1::__terminate(get_terminate());
}

Handler set_unexpected(Handler handler) noexcept {
    return Install(__cxxabiv1::__unexpected_handler, handler, std::terminate);
}

Handler get_unexpected() noexcept {
    return Current(__cxxabiv1::__unexpected_handler);
}

void unexpected() {
    __cxxabiv1::__unexpected(Current(__cxxabiv1::__unexpected_handler));
}

} // namespace std
