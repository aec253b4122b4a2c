// Tests of the operating-system identification: the decision for every branch, the list test, the
// two registry readers, and the live query through the fake host.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sysinfo/identify_operating_system.h"
#include "sysinfo/os_decision.h"
#include "tests/support/fake_host.h"

using testing_support::FakeHost;

namespace {

platform::RegistryValue Value(const std::string& bytes, unsigned reportedSize) {
    platform::RegistryValue value;
    value.read = true;
    value.bytes = bytes;
    value.reportedSize = reportedSize;
    return value;
}

platform::RegistryValue Text(const std::string& text) {
    return Value(text + std::string(1, '\0'), static_cast<unsigned>(text.size() + 1));
}

OsFacts Nt(unsigned major, unsigned minor, unsigned short servicePack = 0,
           unsigned char productType = 1) {
    OsFacts facts;
    facts.version.platformId = 2;
    facts.version.majorVersion = major;
    facts.version.minorVersion = minor;
    facts.version.servicePackMajor = servicePack;
    facts.version.productType = productType;
    return facts;
}

struct Case {
    const char* what;
    OsFacts facts;
    OsCode code;
};

void ExpectCodes(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        EXPECT_EQ(DecideOsCode(c.facts), c.code) << c.what;
    }
}

} // namespace

TEST(OsDecision, NinetyFiveFamilyAndUnknownPlatforms) {
    std::vector<Case> cases;
    for (auto [major, minor, code] : std::vector<std::tuple<unsigned, unsigned, OsCode>>{
             {4, 0, 1}, {4, 10, 2}, {4, 90, 4}, {4, 5, 0}, {3, 0, 0}, {5, 0, 0}}) {
        OsFacts facts;
        facts.version.platformId = 1;
        facts.version.majorVersion = major;
        facts.version.minorVersion = minor;
        cases.push_back({"platform 1", facts, code});
    }
    OsFacts zero;
    cases.push_back({"a failed query leaves platform 0", zero, 0});
    OsFacts other = Nt(5, 1);
    other.version.platformId = 3;
    cases.push_back({"platform 3", other, 0});
    ExpectCodes(cases);
}

TEST(OsDecision, NtVersionsOtherThanXp) {
    OsFacts vistaServer = Nt(6, 0, 1, 3);
    vistaServer.productName = Text("Windows Server (R) 2008 Enterprise");
    ExpectCodes({
        {"NT 4", Nt(4, 0), 5},
        {"NT 3.51", Nt(3, 51), 5},
        {"2000", Nt(5, 0, 4), 3},
        {"5.3", Nt(5, 3), 0},
        {"Vista server, whatever its name", vistaServer, 36},
        {"7", Nt(6, 1, 1), 0},
        {"8", Nt(6, 2), 0},
        {"6.3", Nt(6, 3), 0},
        {"10", Nt(10, 0), 0},
        {"7.0", Nt(7, 0), 0},
    });
}

TEST(OsDecision, FivePointTwoIsServerUnlessAnAmd64Workstation) {
    OsFacts x64 = Nt(5, 2, 2);
    x64.nativeInfoFound = true;
    x64.processorArchitecture = 9;
    OsFacts r2 = x64;
    r2.serverR2 = 1;
    OsFacts server = x64;
    server.version.productType = 3;
    OsFacts noNativeInfo = x64;
    noNativeInfo.nativeInfoFound = false;
    OsFacts x86 = x64;
    x86.processorArchitecture = 0;
    ExpectCodes({
        {"XP x64", x64, 6},
        {"R2 metric wins", r2, 29},
        {"server on AMD64", server, 28},
        {"no GetNativeSystemInfo", noNativeInfo, 28},
        {"x86 workstation", x86, 28},
    });
}

TEST(OsDecision, XpEditionGroupsAndServicePacks) {
    struct Edition {
        const char* what;
        int mediaCenter;
        int tablet;
        unsigned short suite;
        const char* ident;
        OsCode first;
    };
    const Edition editions[] = {
        {"Home", 0, 0, 0x200, nullptr, 7},
        {"Professional", 0, 0, 0x100, nullptr, 11},
        {"Media Center", 1, 0, 0, "3.0", 15},
        {"Media Center 2005 Rollup 2", 1, 0, 0, "4.0", 19},
        {"Tablet PC", 0, 1, 0x200, nullptr, 23},
        {"Media Center and Tablet PC", 1, 1, 0, "4.1", 19},
        {"Media Center, key missing", 1, 0, 0, nullptr, 15},
        {"Media Center, no full stop", 1, 0, 0, "40", 15},
        {"Media Center, version 5", 1, 0, 0, "5.0", 15},
    };
    for (const Edition& edition : editions) {
        for (unsigned short servicePack = 0; servicePack <= 6; ++servicePack) {
            OsFacts facts = Nt(5, 1, servicePack);
            facts.mediaCenter = edition.mediaCenter;
            facts.tabletPc = edition.tablet;
            facts.version.suiteMask = edition.suite;
            if (edition.ident != nullptr) {
                facts.mediaCenterIdent = Text(edition.ident);
            }
            const OsCode expected = servicePack <= 3 ? edition.first + servicePack : 27;
            EXPECT_EQ(DecideOsCode(facts), expected)
                << edition.what << ", service pack " << servicePack;
        }
    }
}

TEST(OsDecision, VistaWorkstationEditionsFromTheProductName) {
    const std::vector<std::pair<const char*, OsCode>> names = {
        {"Windows Vista (TM) Ultimate", 30},
        {"Windows Vista (TM) Home Basic", 31},
        {"Windows Vista (TM) Home Premium", 32},
        {"Windows Vista (TM) Enterprise", 33},
        {"Windows Vista (TM) Business", 34},
        {"Windows Vista (TM) Starter", 35},
        {"Windows Vista (TM) ultimate", 35},
        {"Ultimate Business", 30},
        {"Business Basic", 31},
    };
    for (const auto& [name, code] : names) {
        OsFacts facts = Nt(6, 0, 2);
        facts.productName = Text(name);
        EXPECT_EQ(DecideOsCode(facts), code) << name;
    }
    EXPECT_EQ(DecideOsCode(Nt(6, 0, 0)), 35) << "an unreadable name is still Vista";
}

TEST(OsDecision, ListTest) {
    const OsCode* list = kSupportedSystems;
    ASSERT_EQ(kSupportedSystemCount, 29);
    EXPECT_EQ(list[0], 7);
    EXPECT_EQ(list[28], 35);
    EXPECT_EQ(MatchList(7, list, 29), 7) << "first entry";
    EXPECT_EQ(MatchList(35, list, 29), 35) << "last entry";
    EXPECT_EQ(MatchList(35, list, 28), 0) << "only the first count entries count";
    for (OsCode refused : {1, 2, 4, 5, 28, 29, 36}) {
        EXPECT_EQ(MatchList(refused, list, 29), 0) << refused;
    }
    for (OsCode accepted = 6; accepted <= 35; ++accepted) {
        if (accepted != 28 && accepted != 29) {
            EXPECT_EQ(MatchList(accepted, list, 29), accepted) << accepted;
        }
    }
    EXPECT_EQ(MatchList(3, list, 29), 3);
    EXPECT_EQ(MatchList(7, list, 0), 0) << "count 0";
    EXPECT_EQ(MatchList(7, list, -3), 0) << "negative count";
    EXPECT_EQ(MatchList(28, nullptr, 29), 28) << "no list: the bare code";
    EXPECT_EQ(MatchList(0, nullptr, 0), 0);
    EXPECT_EQ(MatchList(0, list, 29), 0);
}

TEST(OsDecision, RegistryReadersStayInsideTheBufferAndTheValue) {
    // Values that fill the buffer with no NUL end at the value's end.
    EXPECT_EQ(ParseMediaCenterVersion(Value("4.", 2)), 4);
    EXPECT_EQ(ParseMediaCenterVersion(Value("2." + std::string(78, 'x'), 80)), 2);
    EXPECT_EQ(ParseVistaEdition(Value(std::string(72, ' ') + "Ultimate", 80)), 30);
    EXPECT_EQ(ParseVistaEdition(Value(std::string(73, ' ') + "Ultimate", 81)), 35)
        << "a reported size above 80 counts as unreadable";
    EXPECT_EQ(ParseMediaCenterVersion(Value("4." + std::string(78, 'x'), 200)), 0);
    // Sizes of 0 and 1, and a value whose bytes end before the size it reports.
    EXPECT_EQ(ParseMediaCenterVersion(Value("", 0)), 0);
    EXPECT_EQ(ParseMediaCenterVersion(Value("4", 1)), 0);
    EXPECT_EQ(ParseMediaCenterVersion(Value("4", 60)), 0);
    EXPECT_EQ(ParseVistaEdition(Value("", 0)), 35);
    EXPECT_EQ(ParseVistaEdition(Value("B", 1)), 35);
    // The text ends at its first NUL.
    EXPECT_EQ(ParseVistaEdition(Value(std::string("Vista\0Ultimate", 14), 14)), 35);
    EXPECT_EQ(ParseMediaCenterVersion(Value(std::string("\0"
                                                        "4.",
                                                        3),
                                            3)),
              0);
    // A number stored in place of text.
    EXPECT_EQ(ParseMediaCenterVersion(Value(std::string("\x04\0\0\0", 4), 4)), 0);
    EXPECT_EQ(ParseMediaCenterVersion(Value(std::string("1.", 2), 2)), 1);
    EXPECT_EQ(ParseMediaCenterVersion(Value(std::string("0.", 2), 2)), 0);
    platform::RegistryValue unread;
    EXPECT_EQ(ParseMediaCenterVersion(unread), 0);
    EXPECT_EQ(ParseVistaEdition(unread), 35);
}

TEST(OsIdentification, TheLiveQueryReadsEveryValueThroughTheHost) {
    FakeHost fake;
    platform::ScopedHost guard(fake);
    fake.version.platformId = 2;
    fake.version.majorVersion = 5;
    fake.version.minorVersion = 1;
    fake.version.servicePackMajor = 2;
    fake.metrics[87] = 1;
    fake.metrics[86] = 1;
    fake.registry["SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Media Center\\Ident"] =
        std::string("4.0\0", 4);
    EXPECT_EQ(ReadMediaCenterVersion(), 4);
    EXPECT_EQ(IdentifyOperatingSystem(nullptr, 0), 21);
    EXPECT_EQ(IdentifyOperatingSystem(kSupportedSystems, kSupportedSystemCount), 21);

    fake.version.majorVersion = 6;
    fake.version.minorVersion = 0;
    fake.version.productType = 1;
    fake.registry["SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProductName"] =
        std::string("Windows Vista (TM) Home Premium\0", 32);
    EXPECT_EQ(ReadVistaEdition(), 32);
    EXPECT_EQ(IdentifyOperatingSystem(kSupportedSystems, kSupportedSystemCount), 32);
    fake.registry["SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProductName"] =
        std::string(81, 'x');
    EXPECT_EQ(ReadVistaEdition(), 35) << "a value larger than the buffer is not read";

    fake.version.majorVersion = 5;
    fake.version.minorVersion = 2;
    fake.nativeInfoFound = true;
    fake.processorArchitecture = 9;
    EXPECT_EQ(IdentifyOperatingSystem(nullptr, 0), 6);
    fake.version.productType = 3;
    EXPECT_EQ(IdentifyOperatingSystem(nullptr, 0), 28);
    EXPECT_EQ(IdentifyOperatingSystem(kSupportedSystems, kSupportedSystemCount), 0);

    fake.versionAnswers = false;
    EXPECT_EQ(IdentifyOperatingSystem(nullptr, 0), 0);
}
