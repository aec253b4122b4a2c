// The global operator new, as the standard defines it: memory from the C library's malloc; when
// none is left, the installed new-handler is called and the allocation tried again, and without a
// handler std::bad_alloc is thrown. It takes the place of the prebuilt runtime's copy, which is
// compiled for a later processor.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size) {
    // A request for zero bytes still gets a distinct pointer.
    if (size == 0) {
        size = 1;
    }
    for (;;) {
        if (void* memory = std::malloc(size)) {
            return memory;
        }
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) {
            throw std::bad_alloc();
        }
        handler();
    }
}
