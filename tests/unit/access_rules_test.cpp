// The rules for what the launcher writes and creates where others can write: which opened run log
// may be written, and who gets which rights to a created run log and execution directory.
#include "platform/access_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

namespace {

using platform::AccessRules;
using platform::Rights;
using platform::Trustee;

TEST(AccessRules, OnlyAPlainFileWithOneNameIsWrittenAsTheRunLog) {
    struct Case {
        const char* what;
        unsigned long links;
        unsigned attributes;
        bool written;
    };
    const Case cases[] = {
        {"a plain file", 1, 0x20, true}, // archive
        {"a file with no other attribute", 1, 0x80, true},
        {"a read-only, hidden, system file", 1, 0x1 | 0x2 | 0x4, true},
        {"a compressed, not indexed file", 1, 0x800 | 0x2000, true},
        {"a hard link: two names", 2, 0x20, false},
        {"one of many names", 40, 0x80, false},
        {"a file deleted meanwhile", 0, 0x20, false},
        {"a symbolic link to a file", 1, 0x400 | 0x20, false},
        {"a junction or a link to a folder", 1, 0x400 | 0x10, false},
        {"a folder", 1, 0x10, false},
        {"a device", 1, 0x40, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::IsAppendableRunLog(c.links, c.attributes), c.written) << c.what;
    }
}

// Who gets what: rights and whether the contents take them on, by trustee.
using Grants = std::map<Trustee, std::tuple<Rights, bool>>;

Grants GrantsOf(const AccessRules& rules) {
    Grants grants;
    for (std::size_t i = 0; i < rules.count; ++i) {
        const auto& entry = rules.entries[i];
        EXPECT_TRUE(grants.count(entry.who) == 0) << "one entry for each trustee";
        grants[entry.who] = {entry.rights, entry.inheritedByContents};
    }
    return grants;
}

TEST(AccessRules, WhoGetsWhichRights) {
    // A created log: every user may read and append; its creator, the system and the
    // administrators keep full control; nothing else comes from the folder. A log has no contents.
    const Grants log = {
        {Trustee::RunningUser, {Rights::FullControl, false}},
        {Trustee::System, {Rights::FullControl, false}},
        {Trustee::Administrators, {Rights::FullControl, false}},
        {Trustee::AuthenticatedUsers, {Rights::ReadAndAppend, false}},
    };
    EXPECT_EQ(GrantsOf(platform::RunLogAccess()), log);
    EXPECT_TRUE(platform::RunLogAccess().shutsOutParent);

    // The execution directory and everything in it: its user, the system and the administrators,
    // nobody else, and nothing from the folder it lies in.
    const Grants directory = {
        {Trustee::RunningUser, {Rights::FullControl, true}},
        {Trustee::System, {Rights::FullControl, true}},
        {Trustee::Administrators, {Rights::FullControl, true}},
    };
    EXPECT_EQ(GrantsOf(platform::ExecutionDirectoryAccess()), directory);
    EXPECT_TRUE(platform::ExecutionDirectoryAccess().shutsOutParent);
}

} // namespace
