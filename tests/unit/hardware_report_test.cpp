// Tests of the hardware feature report: reading and filtering records, the printed lines, and the
// loading of the probe library with its fallback, against the fake host.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hwreport/dump_hardware_info.h"
#include "hwreport/feature_record.h"
#include "tests/support/fake_host.h"

using testing_support::FakeHost;

namespace {

// A feature table laid out byte for byte, sized to end right after its last record, so that a read
// past the end record is caught by the address sanitizer.
class Table {
public:
    Table& Add(const std::string& name, const std::string& id, const std::string& manufacturer) {
        const std::size_t at = bytes_.size();
        bytes_.resize(at + kFeatureRecordSize, '\0');
        std::memcpy(&bytes_[at + kFeatureNameOffset], name.data(), name.size());
        std::memcpy(&bytes_[at + kHardwareIdOffset], id.data(), id.size());
        std::memcpy(&bytes_[at + kManufacturerOffset], manufacturer.data(), manufacturer.size());
        return *this;
    }
    Table& End() { return Add("", "", ""); }
    const char* Data() const { return bytes_.data(); }

private:
    std::vector<char> bytes_;
};

const std::string kHeader =
    "\n\n -- Feature Name:\tHardware ID String:\tManufacturer String: -- \n\n\n";
const std::string kTrailer = "\n\n\n";

FeatureRecord Record(const std::string& name, const std::string& id,
                     const std::string& manufacturer) {
    return {name, id, manufacturer};
}

} // namespace

TEST(FeatureRecords, LinesKeepEachFieldsSeparatorAndLeaveOutEmptyOnes) {
    EXPECT_EQ(FeatureLine(Record("SSE2", "CPUID.01H:EDX[26]", "GenuineIntel")),
              "SSE2:\tCPUID.01H:EDX[26]:\tGenuineIntel:");
    EXPECT_EQ(FeatureLine(Record("SSE2", "", "GenuineIntel")), "SSE2:\tGenuineIntel:");
    EXPECT_EQ(FeatureLine(Record("SSE2", "CPUID.01H:EDX[26]", "")), "SSE2:\tCPUID.01H:EDX[26]:\t");
    EXPECT_EQ(FeatureLine(Record("SSE2", "", "")), "SSE2:\t");
}

TEST(FeatureRecords, TheFilterMatchesTheThreeWordsInCapitalsAnywhere) {
    EXPECT_FALSE(PassesFilter("ERROR"));
    EXPECT_FALSE(PassesFilter("leaf 7 UNKNOWN here"));
    EXPECT_FALSE(PassesFilter("xFEATURE_SET_DETECTEDx"));
    EXPECT_FALSE(PassesFilter("CPUID.07H:EBX[5] UNKNOWN"));
    EXPECT_TRUE(PassesFilter("unknown"));
    EXPECT_TRUE(PassesFilter("Error in leaf"));
    EXPECT_TRUE(PassesFilter("Feature_Set_Detected"));
    EXPECT_TRUE(PassesFilter("UNKNOWn ERRO FEATURE_SET"));
    EXPECT_TRUE(PassesFilter(""));
}

TEST(FeatureRecords, FieldsWithoutANulEndAtTheirSlot) {
    Table table;
    table.Add(std::string(75, 'N'), std::string(100, 'I'), std::string(200, 'M')).End();
    const FeatureRecord record = ReadFeatureRecord(table.Data());
    EXPECT_EQ(record.featureName, std::string(75, 'N'));
    EXPECT_EQ(record.hardwareId, std::string(100, 'I'));
    EXPECT_EQ(record.manufacturer, std::string(200, 'M'));
    EXPECT_FALSE(IsEndRecord(table.Data()));
    EXPECT_TRUE(IsEndRecord(table.Data() + kFeatureRecordSize));
}

class HardwareReport : public ::testing::Test {
protected:
    void SetUp() override { fake_.consoleAttached = true; }
    FakeHost fake_;
    platform::ScopedHost guard_{fake_};
};

TEST_F(HardwareReport, PrintsThePassingRecordsBetweenHeaderAndTrailer) {
    Table table;
    table.Add("x87 FPU", "CPUID.01H:EDX[0]", "GenuineIntel")
        .Add("AVX-512", "CPUID.07H:EBX[16] UNKNOWN", "GenuineIntel")
        .Add("Leaf", "ERROR: leaf 0x14 not supported", "")
        .Add("Set", "FEATURE_SET_DETECTED", "x")
        .Add("Lower", "unknown bit", "")
        .Add("No id", "", "Maker")
        .Add("Only a name", "", "")
        .Add("", "text after the end", "is never printed")
        .Add("Beyond", "the end", "never read");
    // The table handed over stops at the end record: anything read beyond it is outside the buffer.
    std::vector<char> exact(table.Data(), table.Data() + 8 * kFeatureRecordSize);
    fake_.libraries["ZeTool.dll"]["KnownObjList"] = exact.data();
    EXPECT_TRUE(DumpHardwareInfo());
    EXPECT_EQ(fake_.console, kHeader +
                                 "x87 FPU:\tCPUID.01H:EDX[0]:\tGenuineIntel:\n"
                                 "Lower:\tunknown bit:\t\n"
                                 "No id:\tMaker:\n"
                                 "Only a name:\t\n" +
                                 kTrailer);
}

TEST_F(HardwareReport, AnEmptyTablePrintsOnlyHeaderAndTrailer) {
    Table table;
    table.End();
    fake_.libraries["ZeToolSim.dll"]["KnownObjList"] = table.Data();
    EXPECT_TRUE(DumpHardwareInfo());
    EXPECT_EQ(fake_.console, kHeader + kTrailer);
    EXPECT_EQ(fake_.calls, (std::vector<std::string>{"load ZeTool.dll", "load ZeToolSim.dll",
                                                     "export KnownObjList"}));
}

TEST_F(HardwareReport, TheFallbackIsTriedOnlyWhenTheFirstLibraryDoesNotLoad) {
    Table table;
    table.Add("MMX", "CPUID.01H:EDX[23]", "AuthenticAMD").End();
    fake_.libraries["ZeToolSim.dll"]["KnownObjList"] = table.Data();
    fake_.libraries["ZeTool.dll"]["SomethingElse"] = table.Data();
    EXPECT_FALSE(DumpHardwareInfo());
    EXPECT_EQ(fake_.console, "") << "not even the header";
    EXPECT_EQ(fake_.calls, (std::vector<std::string>{"load ZeTool.dll", "export KnownObjList"}));

    fake_.libraries.clear();
    fake_.calls.clear();
    EXPECT_FALSE(DumpHardwareInfo());
    EXPECT_EQ(fake_.console, "");
    EXPECT_EQ(fake_.calls, (std::vector<std::string>{"load ZeTool.dll", "load ZeToolSim.dll"}));
}

// A faulty probe library whose table has no end record inside its image: the report stops at the
// image's end, at the last whole record, and ends normally. Each table is handed over in a buffer
// exactly as long as the image part after the export, so a read past it is caught by the address
// sanitizer.
TEST_F(HardwareReport, ATableWithoutEndRecordEndsAtTheLastWholeRecordOfTheImage) {
    Table table;
    table.Add("One", "CPUID.01H:EDX[0]", "Maker")
        .Add("Two", "", "")
        .Add("Three", "UNKNOWN", "")
        .Add("Four", "", "Maker");
    const std::string fourLines = "One:\tCPUID.01H:EDX[0]:\tMaker:\nTwo:\t\nFour:\tMaker:\n";

    // The image ends right after the fourth record.
    std::vector<char> exact(table.Data(), table.Data() + 4 * kFeatureRecordSize);
    fake_.libraries["ZeTool.dll"]["KnownObjList"] = exact.data();
    fake_.exportExtents["ZeTool.dll"]["KnownObjList"] = exact.size();
    EXPECT_TRUE(DumpHardwareInfo());
    EXPECT_EQ(fake_.console, kHeader + fourLines + kTrailer);

    // The image ends inside a fifth record, which is not read at all, not even its name.
    std::vector<char> partial(exact);
    partial.resize(partial.size() + kFeatureRecordSize - 1, 'X');
    fake_.console.clear();
    fake_.libraries["ZeTool.dll"]["KnownObjList"] = partial.data();
    fake_.exportExtents["ZeTool.dll"]["KnownObjList"] = partial.size();
    EXPECT_TRUE(DumpHardwareInfo());
    EXPECT_EQ(fake_.console, kHeader + fourLines + kTrailer);

    // Less than one record: the header and the trailer alone. An export in no loaded image cannot
    // be read at all: false, with nothing printed, as for a missing export.
    std::vector<char> short_(kFeatureRecordSize - 1, 'N');
    for (const std::size_t extent : {kFeatureRecordSize - 1, std::size_t{0}}) {
        fake_.console.clear();
        fake_.libraries["ZeTool.dll"]["KnownObjList"] = short_.data();
        fake_.exportExtents["ZeTool.dll"]["KnownObjList"] = extent;
        EXPECT_EQ(DumpHardwareInfo(), extent != 0) << extent;
        EXPECT_EQ(fake_.console, extent != 0 ? kHeader + kTrailer : "") << extent;
    }
}

TEST_F(HardwareReport, AnEndRecordInsideTheImageStillEndsTheTable) {
    Table table;
    table.Add("First", "", "").End().Add("Never", "read", "").Add("Also never", "", "");
    fake_.libraries["ZeToolSim.dll"]["KnownObjList"] = table.Data();
    fake_.exportExtents["ZeToolSim.dll"]["KnownObjList"] = 4 * kFeatureRecordSize;
    EXPECT_TRUE(DumpHardwareInfo());
    EXPECT_EQ(fake_.console, kHeader + "First:\t\n" + kTrailer);
}
