// The switch parser where the stories cannot reach: a caller's buffer with
// no room for the refused switch's name.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "common/run_options.h"

namespace {

TEST(RunOptionsParser, ARefusalStandsEvenWithoutRoomForItsName)
{
    const std::wstring line = L"/VERYSILENT /quiet";
    RunOptions options;
    WCHAR bad[1] = {L'#'};
    EXPECT_FALSE(ParseRunOptions(line.c_str(), line.size(), &options, bad, 1));
    EXPECT_EQ(bad[0], 0);
    EXPECT_EQ(options.quiet, QUIET_VERYSILENT) << "the known switches are read all the same";

    WCHAR named[4] = {0};
    EXPECT_FALSE(ParseRunOptions(line.c_str(), line.size(), &options, named, 4));
    EXPECT_EQ(std::wstring(named), L"/qu") << "the name, cut to the buffer";
}

} // namespace
