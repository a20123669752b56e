#include <gtest/gtest.h>

#include <string>

#include "fake_platform.h"
#include "windows/host/command_line.h"

namespace {

std::string ArgumentsOf(const std::string& commandLine) {
    const char* start = commandLine.c_str();
    return SkipProgramName(start, [](const char* p) -> const char* { return CharNextA(p); });
}

class ProgramNameSkip : public ::testing::Test {
protected:
    void SetUp() override { ResetProcess(); }
};

TEST_F(ProgramNameSkip, UnquotedNameEndsAtTheFirstBlank) {
    EXPECT_EQ(ArgumentsOf("C:\\saver\\rolvanta.scr /s"), "/s");
    EXPECT_EQ(ArgumentsOf("rolvanta.scr \t  -S extra"), "-S extra");
    EXPECT_EQ(ArgumentsOf("rolvanta.scr"), "");
    // A switch glued to the name is part of the name.
    EXPECT_EQ(ArgumentsOf("rolvanta.scr/s"), "");
    EXPECT_EQ(ArgumentsOf("rolvanta.scr-s /c"), "/c");
}

TEST_F(ProgramNameSkip, QuotedNameKeepsItsBlanksAndEndsAtTheClosingQuote) {
    EXPECT_EQ(ArgumentsOf("\"C:\\Program Files\\rolvanta.scr\" /p 123"), "/p 123");
    EXPECT_EQ(ArgumentsOf("\"C:\\Program Files\\rolvanta.scr\"/s"), "/s");
    EXPECT_EQ(ArgumentsOf("\"rolvanta.scr\""), "");
    // An unclosed quote swallows the whole line.
    EXPECT_EQ(ArgumentsOf("\"C:\\saver\\rolvanta.scr /s"), "");
}

TEST_F(ProgramNameSkip, LeadingBlankMeansNoProgramName) {
    EXPECT_EQ(ArgumentsOf(" /s"), "/s");
    EXPECT_EQ(ArgumentsOf("\t C:\\rolvanta.scr /s"), "C:\\rolvanta.scr /s");
    EXPECT_EQ(ArgumentsOf(""), "");
}

TEST_F(ProgramNameSkip, HighBytesAreNeverBlanksAndDoubleByteCharactersStepAsOne) {
    EXPECT_EQ(ArgumentsOf("r\xA0olv\xFF.scr /s"), "/s");
    // With 0x81 as a lead byte, the quote after it is its trail byte, not the closing quote.
    fake.leadBytes = "\x81";
    EXPECT_EQ(ArgumentsOf("\"na\x81\"me\" /s"), "/s");
    EXPECT_EQ(ArgumentsOf("a\x81 b /s"), "/s");
}

struct ModeCase {
    const char* text;
    uint32_t isWin9x;
    int usable;
    RunMode mode;
    int letterGiven;
    const char* rest;
};

class SwitchScan : public ::testing::TestWithParam<ModeCase> {};

TEST_P(SwitchScan, PicksTheModeFromTheFirstDecisiveByte) {
    const ModeCase& c = GetParam();
    ParsedRunMode parsed = ParseRunMode(c.text, c.isWin9x);
    ASSERT_EQ(parsed.usable, c.usable) << c.text;
    if (!c.usable) {
        return;
    }
    EXPECT_EQ(parsed.mode, c.mode) << c.text;
    if (c.mode == Configure) {
        EXPECT_EQ(parsed.letterGiven, c.letterGiven) << c.text;
    }
    if (c.rest != nullptr) {
        ASSERT_NE(parsed.rest, nullptr);
        EXPECT_STREQ(parsed.rest, c.rest) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SwitchScan,
    ::testing::Values(ModeCase{"", 0, 1, Configure, 0, nullptr}, ModeCase{" -/ /-", 0, 1, Configure, 0, nullptr},
                      ModeCase{"s", 0, 1, Saver, 0, nullptr}, ModeCase{"/S", 0, 1, Saver, 0, nullptr},
                      ModeCase{"- / -s", 0, 1, Saver, 0, nullptr}, ModeCase{"/s /c", 0, 1, Saver, 0, nullptr},
                      ModeCase{"/sXYZ", 0, 1, Saver, 0, nullptr}, ModeCase{"/c", 0, 1, Configure, 1, nullptr},
                      ModeCase{"C:1234", 0, 1, Configure, 1, nullptr},
                      ModeCase{"/p 123", 0, 1, Preview, 0, "123"}, ModeCase{"/P123 x", 0, 1, Preview, 0, "123 x"},
                      ModeCase{"/l   77", 0, 1, Preview, 0, "77"}, ModeCase{"/L", 0, 1, Preview, 0, ""},
                      ModeCase{"/p:123", 0, 1, Preview, 0, ":123"}, ModeCase{"/p\t123", 0, 1, Preview, 0, "\t123"},
                      ModeCase{"/a 55", 1, 1, ChangePassword, 0, "55"}, ModeCase{"A", 1, 1, ChangePassword, 0, ""},
                      ModeCase{"/a 55", 0, 0, Saver, 0, nullptr}, ModeCase{"/x", 0, 0, Saver, 0, nullptr},
                      ModeCase{"/\ts", 0, 0, Saver, 0, nullptr}, ModeCase{"5", 0, 0, Saver, 0, nullptr},
                      ModeCase{"\xE9s", 0, 0, Saver, 0, nullptr}, ModeCase{"C:\\rolvanta.scr", 0, 1, Configure, 1, nullptr}),
    [](const ::testing::TestParamInfo<ModeCase>& info) { return "case" + std::to_string(info.index); });

TEST(WindowHandleText, ReadsDigitsUpToTheFirstOtherByte) {
    EXPECT_EQ(ParseWindowHandle("123"), 123u);
    EXPECT_EQ(ParseWindowHandle("4660 more"), 4660u);
    EXPECT_EQ(ParseWindowHandle("12:34"), 12u);
    EXPECT_EQ(ParseWindowHandle(""), 0u);
    EXPECT_EQ(ParseWindowHandle(":123"), 0u);
    EXPECT_EQ(ParseWindowHandle("-5"), 0u);
    EXPECT_EQ(ParseWindowHandle("+5"), 0u);
    EXPECT_EQ(ParseWindowHandle(" 5"), 0u);
    EXPECT_EQ(ParseWindowHandle("4294967295"), 4294967295u);
    EXPECT_EQ(ParseWindowHandle("4294967297"), 1u);
    EXPECT_EQ(ParseWindowHandle("000000000000000000042"), 42u);
}

}  // namespace
