#include "receive/kept_originals.h"

#include <gtest/gtest.h>

#include "core/cp932.h"

namespace tsubame::testing {
namespace {

// The record's text with its geta marks given back the characters they stand for, as far as
// the record and the decoded text agree.
TEST(KeptOriginals, TheRecordsTextGetsBackWhatCodePage932Lacks) {
    const struct {
        const char* record;
        const char* original;
        const char* shown;
    } cases[] = {
        {"会議 〓 Gr〓〓e", "会議 🎉 Größe", "会議 🎉 Größe"},
        {"〓〓", "🎉한국", "🎉한"},           // the record cut the text
        {"a〓\r\n♪〓", "a🎉", "a🎉\r\n♪〓"},  // the check added to it
        {"〓", "  🎉", "🎉"},                 // without its leading blanks
        {"x〓y〓", "x🎉z🎉", "x🎉y〓"},        // parted
        {"〓 a", "〓 a", "〓 a"},           // a geta mark of the mail's own
        {"〓", "", "〓"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(restoreLostCharacters(utf8ToCp932(c.record), c.original), c.shown) << c.record;
}

}  // namespace
}  // namespace tsubame::testing
