// Tests of the native host's image bound on a real library: the fixture probe library whose table
// has no end record is loaded, and the number of bytes the host says may be read from its table
// must lie within the memory the library is mapped into.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/host.h"

namespace {

// The start and end of the mapping in /proc/self/maps that holds address; both 0 when none does.
void MappingOf(std::uintptr_t address, std::uintptr_t& start, std::uintptr_t& end) {
    start = end = 0;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::uintptr_t low = 0;
        std::uintptr_t high = 0;
        char dash = 0;
        fields >> std::hex >> low >> dash >> high;
        if (address >= low && address < high) {
            start = low;
            end = high;
            return;
        }
    }
}

} // namespace

TEST(PosixProbeLibrary, TheImageBoundEndsInsideTheLibrarysMapping) {
    void* library = dlopen(MXV_TEST_HWFIXTURES "/noend/ZeTool.dll", RTLD_NOW);
    ASSERT_NE(library, nullptr) << dlerror();
    const void* table = dlsym(library, "KnownObjList");
    ASSERT_NE(table, nullptr);

    platform::Host& host = platform::SystemHost();
    const std::size_t bytes = host.ImageBytesFrom(table);
    // The whole one-page table lies in the image, so at least the ten whole records are readable.
    EXPECT_GE(bytes, 4096u);

    const auto at = reinterpret_cast<std::uintptr_t>(table);
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
    MappingOf(at, start, end);
    ASSERT_NE(end, 0u) << "the table lies in no mapping";
    // The bound never reaches past the mapping that holds the table, so every byte of it reads.
    EXPECT_LE(at + bytes, end);
    // Reading the last byte of the bound must not fault.
    const volatile unsigned char last = static_cast<const unsigned char*>(table)[bytes - 1];
    (void)last;

    // An address in another loaded object (this test program) lies in an image too; one in no
    // loaded object (on the stack) gives nothing.
    static const char inTestProgram = 'x';
    EXPECT_GT(host.ImageBytesFrom(&inTestProgram), 0u);
    const char onStack = 'y';
    EXPECT_EQ(host.ImageBytesFrom(&onStack), 0u);
}
