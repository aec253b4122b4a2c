// Fuzz target of the hardware report: DumpHardwareInfo, through the fake host, on a feature table
// made of the input's bytes. The table lies at the very end of readable memory, followed by a page
// that cannot be read, so any read past what the rules allow faults at once:
// - with an end record: only the end record's first byte (its empty name) is readable after the
//   table's records;
// - without one: the library's image, as the fake host reports it, ends after the whole records
//   and a cut-off piece of a further record, which must not be read.
// The printed text must be exactly the header, one line per record that passes the filter, and the
// trailer, all as the rules lay them out.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hwreport/dump_hardware_info.h"
#include "tests/support/fake_host.h"

namespace {

constexpr std::size_t kRecord = 375;
constexpr std::size_t kMaxRecords = 8;
const std::string kHeader =
    "\n\n -- Feature Name:\tHardware ID String:\tManufacturer String: -- \n\n\n";
const std::string kTrailer = "\n\n\n";

void Fail(const char* what) {
    std::fprintf(stderr, "oracle: %s\n", what);
    std::abort();
}

// Readable pages followed by one page that cannot be read, made once.
class GuardedRegion {
public:
    GuardedRegion() {
        page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        readable_ = ((kMaxRecords + 1) * kRecord + page_ - 1) / page_ * page_;
        void* map = mmap(nullptr, readable_ + page_, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (map == MAP_FAILED) {
            std::abort();
        }
        base_ = static_cast<char*>(map);
        mprotect(base_ + readable_, page_, PROT_NONE);
    }
    // Copies bytes so that they end where the readable memory ends.
    const char* PlaceAtEnd(const std::string& bytes) {
        char* at = base_ + readable_ - bytes.size();
        std::memcpy(at, bytes.data(), bytes.size());
        return at;
    }

private:
    std::size_t page_ = 0;
    std::size_t readable_ = 0;
    char* base_ = nullptr;
};

// The text of a slot: up to its first NUL, or the whole slot.
std::string Slot(const std::string& record, std::size_t offset, std::size_t width) {
    const std::string slot = record.substr(offset, width);
    return slot.substr(0, slot.find('\0'));
}

// The report the rules ask for, from records that are known to be whole.
std::string ExpectedReport(const std::string& records) {
    std::string text = kHeader;
    for (std::size_t at = 0; at + kRecord <= records.size(); at += kRecord) {
        const std::string record = records.substr(at, kRecord);
        const std::string name = Slot(record, 0, 75);
        if (name.empty()) {
            break;
        }
        const std::string id = Slot(record, 75, 100);
        if (id.find("ERROR") != std::string::npos || id.find("UNKNOWN") != std::string::npos ||
            id.find("FEATURE_SET_DETECTED") != std::string::npos) {
            continue;
        }
        const std::string maker = Slot(record, 175, 200);
        text += name + ":\t" + (id.empty() ? "" : id + ":\t") + (maker.empty() ? "" : maker + ":") +
                "\n";
    }
    return text + kTrailer;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static GuardedRegion region;
    FuzzedDataProvider input(data, size);
    const bool withEndRecord = input.ConsumeBool();
    const std::size_t cutOff = input.ConsumeIntegralInRange<std::size_t>(0, kRecord - 1);
    std::string records = input.ConsumeBytesAsString(kMaxRecords * kRecord);
    records.resize(records.size() / kRecord * kRecord);

    testing_support::FakeHost fake;
    fake.consoleAttached = true;
    platform::ScopedHost guard(fake);
    const char* table = nullptr;
    std::string expected;
    if (withEndRecord) {
        // The end record's name byte is the last readable byte.
        table = region.PlaceAtEnd(records + std::string(1, '\0'));
        fake.exportExtents["ZeTool.dll"]["KnownObjList"] = records.size() + kRecord;
        expected = ExpectedReport(records);
    } else {
        // No end record: the image ends inside a cut-off record, whose bytes are all non-NUL so
        // that a reader which takes it for a record would run off the readable memory.
        const std::string image = records + std::string(cutOff, 'X');
        table = region.PlaceAtEnd(image);
        fake.exportExtents["ZeTool.dll"]["KnownObjList"] = image.size();
        expected = ExpectedReport(records);
    }
    fake.libraries["ZeTool.dll"]["KnownObjList"] = table;

    // An image that ends where the table starts does not hold it: the table lies in no loaded
    // image, so the report fails as for a missing table and prints nothing.
    if (fake.exportExtents["ZeTool.dll"]["KnownObjList"] == 0) {
        if (DumpHardwareInfo() || !fake.console.empty()) {
            Fail("a table in no loaded image was reported");
        }
        return 0;
    }
    if (!DumpHardwareInfo()) {
        Fail("the table was found, yet the report failed");
    }
    const std::string& text = fake.console;
    if (text.compare(0, kHeader.size(), kHeader) != 0) {
        Fail("the header is missing");
    }
    if (text.size() < kHeader.size() + kTrailer.size() ||
        text.compare(text.size() - kTrailer.size(), kTrailer.size(), kTrailer) != 0) {
        Fail("the trailer is missing");
    }
    if (text != expected) {
        Fail("the printed lines differ from the records");
    }
    return 0;
}
