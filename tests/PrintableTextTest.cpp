#include <gtest/gtest.h>

#include <string>

#include "app/ScreenMessage.h"
#include "midi/RateLimitedReport.h"

namespace {

// A name as a hostile file or packet may hold it: a window title set, the
// screen cleared, a terminal query in an 8-bit control, a character cut
// short; and letters that are no ASCII.
const char* const HOSTILE = "kept: \x1b]0;owned\x07name\x1b[2J, \xc3\xa9t\xc3\xa9, \xc2\x9b"
                            "6n, \xe2\x82";
const char* const ESCAPED = "kept: \\x1b]0;owned\\x07name\\x1b[2J, \xc3\xa9t\xc3\xa9, \\xc2\\x9b6n, \\xe2\\x82";

TEST(PrintableTextTest, AMessageShowsAndPrintsControlCharactersEscaped)
{
    ScreenMessage message;
    testing::internal::CaptureStderr();
    message.Show(HOSTILE, true);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(message.GetText(), ESCAPED);
    EXPECT_EQ(printed, std::string(ESCAPED) + "\n");
}

TEST(PrintableTextTest, AnOscComplaintPrintsThePathEscaped)
{
    RateLimitedReport report;
    testing::internal::CaptureStderr();
    report.Report(std::string("OSC /source/0/") + HOSTILE + ": no such source or parameter");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              std::string("OSC /source/0/") + ESCAPED + ": no such source or parameter\n");
}

}  // namespace
