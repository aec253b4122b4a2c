// Tests of the operating-system identification: the decision for named systems and edge cases, the
// supported list, the two registry readers, and the live query through the fake host.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "sysinfo/identify_operating_system.h"
#include "sysinfo/os_decision.h"
#include "tests/support/fake_host.h"

using testing_support::FakeHost;

namespace {

// The expected codes below are the numbers of the published code table, written out as numbers so
// that a wrong name in the code's own enumeration shows up too.

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

OsFacts Platform1(unsigned major, unsigned minor) {
    OsFacts facts;
    facts.version.platformId = 1;
    facts.version.majorVersion = major;
    facts.version.minorVersion = minor;
    return facts;
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

OsFacts WithPlatform(OsFacts facts, unsigned platformId) {
    facts.version.platformId = platformId;
    return facts;
}

// Windows XP editions, as the system reports them.
OsFacts XpHome(unsigned short servicePack) {
    OsFacts facts = Nt(5, 1, servicePack);
    facts.version.suiteMask = 0x200;
    return facts;
}

OsFacts XpProfessional(unsigned short servicePack) {
    OsFacts facts = Nt(5, 1, servicePack);
    facts.version.suiteMask = 0x100;
    return facts;
}

// A Media Center system; ident is its "Ident" value, or none when the key is missing.
OsFacts XpMediaCenter(const char* ident, unsigned short servicePack) {
    OsFacts facts = Nt(5, 1, servicePack);
    facts.mediaCenter = 1;
    if (ident != nullptr) {
        facts.mediaCenterIdent = Text(ident);
    }
    return facts;
}

OsFacts XpTabletPc(unsigned short servicePack) {
    OsFacts facts = Nt(5, 1, servicePack);
    facts.tabletPc = 1;
    return facts;
}

OsFacts WithTabletPc(OsFacts facts) {
    facts.tabletPc = 1;
    return facts;
}

OsFacts WithPersonalSuite(OsFacts facts) {
    facts.version.suiteMask = 0x200;
    return facts;
}

// An NT 5.2 system on AMD64 with GetNativeSystemInfo, and variations of it.
OsFacts FivePointTwo(unsigned char productType = 1, unsigned short architecture = 9,
                     bool nativeInfoFound = true, int serverR2 = 0) {
    OsFacts facts = Nt(5, 2, 2, productType);
    facts.nativeInfoFound = nativeInfoFound;
    facts.processorArchitecture = architecture;
    facts.serverR2 = serverR2;
    return facts;
}

OsFacts Vista(const char* productName, unsigned short servicePack = 2) {
    OsFacts facts = Nt(6, 0, servicePack);
    if (productName != nullptr) {
        facts.productName = Text(productName);
    }
    return facts;
}

OsFacts VistaServer() {
    OsFacts facts = Nt(6, 0, 1, 3);
    facts.productName = Text("Windows Server (R) 2008 Enterprise");
    return facts;
}

// One system described by its facts, and the code it must get.
struct DecisionCase {
    const char* name;
    OsFacts facts;
    OsCode code;
};

void PrintTo(const DecisionCase& c, std::ostream* out) {
    *out << c.name;
}

class OsDecision : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(OsDecision, GivesTheSystemsCode) {
    EXPECT_EQ(DecideOsCode(GetParam().facts), GetParam().code);
}

// The name a parameterised case is reported under.
template <typename Case> std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(NinetyFiveFamilyAndUnknownPlatforms, OsDecision,
                         ::testing::ValuesIn(std::vector<DecisionCase>{
                             {"Windows95", Platform1(4, 0), 1},
                             {"Windows98", Platform1(4, 10), 2},
                             {"WindowsMe", Platform1(4, 90), 4},
                             {"Platform1OtherMinorVersion", Platform1(4, 5), 0},
                             {"Platform1Major3", Platform1(3, 0), 0},
                             {"Platform1Major5", Platform1(5, 0), 0},
                             {"FailedQueryLeavesPlatform0", OsFacts(), 0},
                             {"Platform3", WithPlatform(Nt(5, 1), 3), 0},
                         }),
                         CaseName<DecisionCase>);

INSTANTIATE_TEST_SUITE_P(NtVersionsOtherThanXp, OsDecision,
                         ::testing::ValuesIn(std::vector<DecisionCase>{
                             {"Nt4", Nt(4, 0), 5},
                             {"Nt351", Nt(3, 51), 5},
                             {"Windows2000Sp4", Nt(5, 0, 4), 3},
                             {"Nt53", Nt(5, 3), 0},
                             {"VistaServerWhateverItsName", VistaServer(), 36},
                             {"Nt61WithServicePack", Nt(6, 1, 1), 0},
                             {"Nt62", Nt(6, 2), 0},
                             {"Nt63", Nt(6, 3), 0},
                             {"Nt100", Nt(10, 0), 0},
                             {"Nt70", Nt(7, 0), 0},
                         }),
                         CaseName<DecisionCase>);

INSTANTIATE_TEST_SUITE_P(FivePointTwoIsServerUnlessAnAmd64Workstation, OsDecision,
                         ::testing::ValuesIn(std::vector<DecisionCase>{
                             {"XpProfessionalX64", FivePointTwo(), 6},
                             {"R2MetricWinsOverX64", FivePointTwo(1, 9, true, 1), 29},
                             {"ServerOnAmd64", FivePointTwo(3), 28},
                             {"WorkstationWithoutGetNativeSystemInfo", FivePointTwo(1, 9, false),
                              28},
                             {"X86Workstation", FivePointTwo(1, 0), 28},
                         }),
                         CaseName<DecisionCase>);

INSTANTIATE_TEST_SUITE_P(
    XpEditionsAndServicePacks, OsDecision,
    ::testing::ValuesIn(std::vector<DecisionCase>{
        {"XpHomeSp0", XpHome(0), 7},
        {"XpHomeSp1", XpHome(1), 8},
        {"XpHomeSp2", XpHome(2), 9},
        {"XpHomeSp3", XpHome(3), 10},
        {"XpHomeSp4", XpHome(4), 27},
        {"XpProfessionalSp0", XpProfessional(0), 11},
        {"XpProfessionalSp1", XpProfessional(1), 12},
        {"XpProfessionalSp2", XpProfessional(2), 13},
        {"XpProfessionalSp3", XpProfessional(3), 14},
        {"XpProfessionalSp6", XpProfessional(6), 27},
        {"XpMediaCenterSp0", XpMediaCenter("3.0", 0), 15},
        {"XpMediaCenterSp1", XpMediaCenter("3.0", 1), 16},
        {"XpMediaCenterSp2", XpMediaCenter("3.0", 2), 17},
        {"XpMediaCenterSp3", XpMediaCenter("3.0", 3), 18},
        {"XpMediaCenterSp5", XpMediaCenter("3.0", 5), 27},
        {"XpMediaCenterRollup2Sp0", XpMediaCenter("4.0", 0), 19},
        {"XpMediaCenterRollup2Sp1", XpMediaCenter("4.0", 1), 20},
        {"XpMediaCenterRollup2Sp2", XpMediaCenter("4.0", 2), 21},
        {"XpMediaCenterRollup2Sp3", XpMediaCenter("4.0", 3), 22},
        {"XpMediaCenterRollup2Sp4", XpMediaCenter("4.0", 4), 27},
        {"XpTabletPcSp0", XpTabletPc(0), 23},
        {"XpTabletPcSp1", XpTabletPc(1), 24},
        {"XpTabletPcSp2", XpTabletPc(2), 25},
        {"XpTabletPcSp3", XpTabletPc(3), 26},
        {"XpTabletPcSp4", XpTabletPc(4), 27},
        {"TabletPcWinsOverThePersonalSuite", WithPersonalSuite(XpTabletPc(1)), 24},
        {"MediaCenterWinsOverTabletPc", WithTabletPc(XpMediaCenter("4.1", 2)), 21},
        {"MediaCenterAndTabletPcVersion3", WithTabletPc(XpMediaCenter("3.", 2)), 17},
        {"MediaCenterKeyMissing", XpMediaCenter(nullptr, 1), 16},
        {"MediaCenterIdentWithoutFullStop", XpMediaCenter("40", 3), 18},
        {"MediaCenterVersion5", XpMediaCenter("5.0", 0), 15},
    }),
    CaseName<DecisionCase>);

INSTANTIATE_TEST_SUITE_P(VistaWorkstationEditionsFromTheProductName, OsDecision,
                         ::testing::ValuesIn(std::vector<DecisionCase>{
                             {"VistaUltimate", Vista("Windows Vista (TM) Ultimate"), 30},
                             {"VistaHomeBasic", Vista("Windows Vista (TM) Home Basic"), 31},
                             {"VistaHomePremium", Vista("Windows Vista (TM) Home Premium"), 32},
                             {"VistaEnterprise", Vista("Windows Vista (TM) Enterprise"), 33},
                             {"VistaBusiness", Vista("Windows Vista (TM) Business"), 34},
                             {"VistaStarterIsAnotherEdition", Vista("Windows Vista (TM) Starter"),
                              35},
                             {"EditionWordInAnotherCase", Vista("Windows Vista (TM) ultimate"), 35},
                             {"UltimateBeforeBusiness", Vista("Ultimate Business"), 30},
                             {"BasicBeforeBusiness", Vista("Business Basic"), 31},
                             {"UnreadableNameIsStillVista", Vista(nullptr, 0), 35},
                         }),
                         CaseName<DecisionCase>);

TEST(OsList, TheSupportedListAndTheListTest) {
    // The supported systems, in the order the system check passes them.
    const std::vector<OsCode> supported = {7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                                           17, 18, 19, 20, 21, 22, 23, 24, 25, 26,
                                           3,  27, 6,  31, 30, 32, 33, 34, 35};
    ASSERT_EQ(kSupportedSystemCount, 29);
    EXPECT_EQ(std::vector<OsCode>(kSupportedSystems, kSupportedSystems + kSupportedSystemCount),
              supported);

    const OsCode* list = kSupportedSystems;
    EXPECT_EQ(MatchList(7, list, 29), 7) << "first entry";
    EXPECT_EQ(MatchList(35, list, 29), 35) << "last entry";
    EXPECT_EQ(MatchList(35, list, 28), 0) << "only the first count entries count";
    for (OsCode refused : {1, 2, 4, 5, 28, 29, 36}) {
        EXPECT_EQ(MatchList(refused, list, 29), 0) << refused;
    }
    for (OsCode accepted : supported) {
        EXPECT_EQ(MatchList(accepted, list, 29), accepted) << accepted;
    }
    EXPECT_EQ(MatchList(7, list, 0), 0) << "count 0";
    EXPECT_EQ(MatchList(7, list, -3), 0) << "negative count";
    EXPECT_EQ(MatchList(28, nullptr, 29), 28) << "no list: the bare code";
    EXPECT_EQ(MatchList(0, nullptr, 0), 0);
    EXPECT_EQ(MatchList(0, list, 29), 0);
}

TEST(OsRegistryReaders, StayInsideTheBufferAndTheValue) {
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

// The live query on a system that the fake host describes: the bare code, the code tested against
// the supported list, and what the two registry readers give.
struct LiveCase {
    const char* name;
    void (*describe)(FakeHost&);
    OsCode bare;
    OsCode listed;
    int mediaCenterVersion;
    OsCode vistaEdition;
};

void PrintTo(const LiveCase& c, std::ostream* out) {
    *out << c.name;
}

const char kIdent[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Media Center\\Ident";
const char kProductName[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProductName";

void NtVersion(FakeHost& fake, unsigned major, unsigned minor, unsigned short servicePack,
               unsigned char productType) {
    fake.version.platformId = 2;
    fake.version.majorVersion = major;
    fake.version.minorVersion = minor;
    fake.version.servicePackMajor = servicePack;
    fake.version.productType = productType;
}

void MediaCenterRollup2WithTabletPc(FakeHost& fake) {
    NtVersion(fake, 5, 1, 2, 1);
    fake.metrics[87] = 1;
    fake.metrics[86] = 1;
    fake.registry[kIdent] = std::string("4.0\0", 4);
}

void VistaHomePremium(FakeHost& fake) {
    NtVersion(fake, 6, 0, 0, 1);
    fake.registry[kProductName] = std::string("Windows Vista (TM) Home Premium\0", 32);
}

void VistaNameLargerThanTheBuffer(FakeHost& fake) {
    NtVersion(fake, 6, 0, 0, 1);
    fake.registry[kProductName] = std::string(81, 'x');
}

void XpProfessionalX64(FakeHost& fake) {
    NtVersion(fake, 5, 2, 2, 1);
    fake.nativeInfoFound = true;
    fake.processorArchitecture = 9;
}

void Server2003OnAmd64(FakeHost& fake) {
    NtVersion(fake, 5, 2, 2, 3);
    fake.nativeInfoFound = true;
    fake.processorArchitecture = 9;
}

void FailedVersionQuery(FakeHost& fake) {
    NtVersion(fake, 5, 1, 2, 1);
    fake.versionAnswers = false;
}

class OsIdentification : public ::testing::TestWithParam<LiveCase> {
protected:
    OsIdentification() : guard_(fake_) { GetParam().describe(fake_); }

    FakeHost fake_;
    platform::ScopedHost guard_;
};

TEST_P(OsIdentification, TheLiveQueryReadsEveryValueThroughTheHost) {
    const LiveCase& c = GetParam();
    EXPECT_EQ(IdentifyOperatingSystem(nullptr, 0), c.bare);
    EXPECT_EQ(IdentifyOperatingSystem(kSupportedSystems, kSupportedSystemCount), c.listed);
    EXPECT_EQ(ReadMediaCenterVersion(), c.mediaCenterVersion);
    EXPECT_EQ(ReadVistaEdition(), c.vistaEdition);
}

INSTANTIATE_TEST_SUITE_P(
    Systems, OsIdentification,
    ::testing::Values(
        LiveCase{"MediaCenterRollup2WithTabletPc", MediaCenterRollup2WithTabletPc, 21, 21, 4, 35},
        LiveCase{"VistaHomePremium", VistaHomePremium, 32, 32, 0, 32},
        LiveCase{"VistaNameLargerThanTheBuffer", VistaNameLargerThanTheBuffer, 35, 35, 0, 35},
        LiveCase{"XpProfessionalX64", XpProfessionalX64, 6, 6, 0, 35},
        LiveCase{"Server2003OnAmd64", Server2003OnAmd64, 28, 0, 0, 35},
        LiveCase{"FailedVersionQuery", FailedVersionQuery, 0, 0, 0, 35}),
    CaseName<LiveCase>);

} // namespace
