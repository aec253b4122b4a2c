// Fuzz target of the operating-system decision: DecideOsCode, the two registry parsers and
// MatchList on arbitrary version facts, metrics and registry bytes. The oracle is the code table:
// every code lies in 0 to 36; platforms other than 1 and 2 give 0; platform 1 gives 1, 2 or 4 for
// versions 4.0, 4.10 and 4.90 and 0 otherwise; NT 4 and lower give 5, 5.0 gives 3, 5.1 gives the
// group's first code plus the service pack (27 from service pack 4 on), 5.2 gives 29, 6 or 28, 6.0
// gives an edition code or 36, and every other NT version 0; a list keeps a code only when it is
// among the list's first count entries.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sysinfo/os_decision.h"

namespace {

void Fail(const char* what, OsCode got) {
    std::fprintf(stderr, "oracle: %s (got %d)\n", what, static_cast<int>(got));
    std::abort();
}

// A small number most of the time, so that the table's versions are hit, else any number.
unsigned SmallOrAny(FuzzedDataProvider& input, unsigned small) {
    return input.ConsumeBool() ? input.ConsumeIntegralInRange<unsigned>(0, small)
                               : input.ConsumeIntegral<unsigned>();
}

platform::RegistryValue Value(FuzzedDataProvider& input) {
    platform::RegistryValue value;
    value.read = input.ConsumeIntegralInRange<int>(0, 7) != 0;
    value.bytes = input.ConsumeRandomLengthString(kRegistryBufferSize);
    value.reportedSize = input.ConsumeBool() ? static_cast<unsigned>(value.bytes.size())
                                             : input.ConsumeIntegralInRange<unsigned>(0, 200);
    return value;
}

// The value's text: what was read, never beyond the buffer, up to the first NUL. False when the
// value was not read or did not fit the buffer.
bool Text(const platform::RegistryValue& value, std::string& text) {
    if (!value.read || value.reportedSize > kRegistryBufferSize) {
        return false;
    }
    text = value.bytes.substr(0, value.reportedSize);
    text = text.substr(0, text.find('\0'));
    return true;
}

int ExpectedMediaCenterVersion(const platform::RegistryValue& ident) {
    std::string text;
    if (Text(ident, text) && text.size() >= 2 && text[0] >= '1' && text[0] <= '4' &&
        text[1] == '.') {
        return text[0] - '0';
    }
    return 0;
}

OsCode ExpectedVistaEdition(const platform::RegistryValue& name) {
    std::string text;
    if (!Text(name, text)) {
        return 35;
    }
    const char* const words[] = {"Ultimate", "Basic", "Premium", "Enterprise", "Business"};
    for (int i = 0; i < 5; ++i) {
        if (text.find(words[i]) != std::string::npos) {
            return 30 + i;
        }
    }
    return 35;
}

void CheckCode(const OsFacts& facts, OsCode code) {
    const platform::VersionInfo& v = facts.version;
    if (code < 0 || code > 36) {
        Fail("a code outside 0 to 36", code);
    }
    if (v.platformId != 1 && v.platformId != 2) {
        if (code != 0) {
            Fail("a platform other than 1 and 2 gave a code", code);
        }
        return;
    }
    if (v.platformId == 1) {
        OsCode expected = 0;
        if (v.majorVersion == 4) {
            expected = v.minorVersion == 0    ? 1
                       : v.minorVersion == 10 ? 2
                       : v.minorVersion == 90 ? 4
                                              : 0;
        }
        if (code != expected) {
            Fail("platform 1 gave the wrong code", code);
        }
        return;
    }
    OsCode expected = 0;
    if (v.majorVersion <= 4) {
        expected = 5;
    } else if (v.majorVersion == 5 && v.minorVersion == 0) {
        expected = 3;
    } else if (v.majorVersion == 5 && v.minorVersion == 1) {
        OsCode group = 11;
        if (facts.mediaCenter != 0) {
            group = ExpectedMediaCenterVersion(facts.mediaCenterIdent) == 4 ? 19 : 15;
        } else if (facts.tabletPc != 0) {
            group = 23;
        } else if ((v.suiteMask & 0x200) != 0) {
            group = 7;
        }
        expected = v.servicePackMajor <= 3 ? group + v.servicePackMajor : 27;
    } else if (v.majorVersion == 5 && v.minorVersion == 2) {
        if (facts.serverR2 != 0) {
            expected = 29;
        } else if (v.productType == 1 && facts.nativeInfoFound &&
                   facts.processorArchitecture == 9) {
            expected = 6;
        } else {
            expected = 28;
        }
    } else if (v.majorVersion == 6 && v.minorVersion == 0) {
        expected = v.productType == 1 ? ExpectedVistaEdition(facts.productName) : 36;
    }
    if (code != expected) {
        Fail("an NT system gave the wrong code", code);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    OsFacts facts;
    facts.version.platformId = SmallOrAny(input, 3);
    facts.version.majorVersion = SmallOrAny(input, 8);
    facts.version.minorVersion = SmallOrAny(input, 100);
    facts.version.buildNumber = input.ConsumeIntegral<unsigned>();
    facts.version.servicePackMajor = static_cast<unsigned short>(SmallOrAny(input, 6));
    facts.version.servicePackMinor = input.ConsumeIntegral<unsigned short>();
    facts.version.suiteMask = input.ConsumeIntegral<unsigned short>();
    facts.version.productType = input.ConsumeIntegralInRange<unsigned char>(0, 3);
    facts.nativeInfoFound = input.ConsumeBool();
    facts.processorArchitecture = input.ConsumeBool() ? 9 : input.ConsumeIntegral<unsigned short>();
    facts.tabletPc = input.ConsumeBool() ? input.ConsumeIntegral<int>() : 0;
    facts.mediaCenter = input.ConsumeBool() ? input.ConsumeIntegral<int>() : 0;
    facts.serverR2 = input.ConsumeBool() ? input.ConsumeIntegral<int>() : 0;
    facts.mediaCenterIdent = Value(input);
    facts.productName = Value(input);

    const int mediaCenter = ParseMediaCenterVersion(facts.mediaCenterIdent);
    if (mediaCenter != ExpectedMediaCenterVersion(facts.mediaCenterIdent)) {
        Fail("the Media Center version is wrong", mediaCenter);
    }
    const OsCode edition = ParseVistaEdition(facts.productName);
    if (edition != ExpectedVistaEdition(facts.productName)) {
        Fail("the Vista edition is wrong", edition);
    }

    const OsCode code = DecideOsCode(facts);
    CheckCode(facts, code);

    // The list test: no list keeps the code; a list keeps it only when it is among the first count
    // entries; 0 stays 0.
    std::vector<OsCode> list;
    const std::size_t length = input.ConsumeIntegralInRange<std::size_t>(0, 40);
    for (std::size_t i = 0; i < length; ++i) {
        list.push_back(input.ConsumeIntegralInRange<OsCode>(-1, 37));
    }
    const auto count =
        input.ConsumeIntegralInRange<std::int32_t>(-3, static_cast<std::int32_t>(list.size()));
    bool member = false;
    for (std::int32_t i = 0; i < count; ++i) {
        member = member || list[static_cast<std::size_t>(i)] == code;
    }
    const OsCode matched = MatchList(code, list.empty() ? nullptr : list.data(), count);
    const OsCode expected = list.empty() ? code : (code != 0 && member ? code : 0);
    if (matched != expected) {
        Fail("the list test is wrong", matched);
    }
    return 0;
}
