// The command line: what it asks for, what it refuses, and what the game
// prints for it without opening a window.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

CommandLine parse(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "vromdash");
    return parseCommandLine(static_cast<int>(arguments.size()), arguments.data());
}

std::string answerFor(std::vector<const char*> arguments, int& status) {
    std::ostringstream out;
    status = answerWithoutPlaying(parse(std::move(arguments)), out);
    return out.str();
}

}  // namespace

TEST(CommandLine, ScreenOptionsAnswerTheQuestionAndNothingMeansAsk) {
    EXPECT_EQ(parse({}).action, StartAction::Play);
    EXPECT_EQ(parse({}).screen, ScreenChoice::Ask);
    EXPECT_EQ(parse({"--windowed"}).screen, ScreenChoice::Windowed);
    EXPECT_EQ(parse({"--fullscreen"}).screen, ScreenChoice::Fullscreen);
    // The same answer twice is still one answer.
    EXPECT_EQ(parse({"--fullscreen", "--fullscreen"}).screen, ScreenChoice::Fullscreen);
    EXPECT_EQ(parse({"--fullscreen", "--fullscreen"}).action, StartAction::Play);
}

TEST(CommandLine, RefusesUnknownOptionsStrayArgumentsAndTwoAnswers) {
    const CommandLine unknown = parse({"--windowed", "--turbo"});
    EXPECT_EQ(unknown.action, StartAction::Refuse);
    EXPECT_EQ(unknown.problem, "vromdash: unknown option '--turbo'");
    EXPECT_EQ(parse({"-x"}).problem, "vromdash: unknown option '-x'");
    // In a cluster of short options, the letter that is not one.
    EXPECT_EQ(parse({"--windowed", "-hx"}).problem, "vromdash: unknown option '-x'");
    EXPECT_EQ(parse({"--turbo=9"}).problem, "vromdash: unknown option '--turbo'");
    // A prefix longer than the option is not a prefix of it.
    EXPECT_EQ(parse({"--fullscreens"}).action, StartAction::Refuse);
    EXPECT_EQ(parse({"level2"}).problem, "vromdash: unexpected argument 'level2'");
    EXPECT_EQ(parse({"-"}).problem, "vromdash: unexpected argument '-'");
    EXPECT_EQ(parse({"--windowed", "--fullscreen"}).problem,
              "vromdash: --windowed and --fullscreen exclude each other");
    // A bad argument refuses the lot, even after --help.
    EXPECT_EQ(parse({"--help", "--nope"}).action, StartAction::Refuse);
}

TEST(CommandLine, RecordTakesAFileInEitherSpelling) {
    EXPECT_EQ(parse({"--record", "game.rec", "--windowed"}).recordPath, "game.rec");
    EXPECT_EQ(parse({"--record", "game.rec", "--windowed"}).screen, ScreenChoice::Windowed);
    EXPECT_EQ(parse({"--record=/tmp/a b.rec"}).recordPath, "/tmp/a b.rec");
    EXPECT_EQ(parse({}).recordPath, "");
    EXPECT_EQ(parse({"--record"}).problem, "vromdash: --record needs a file name");
    EXPECT_EQ(parse({"--record="}).problem, "vromdash: --record needs a file name");
    // The value after the option is taken whatever it looks like.
    EXPECT_EQ(parse({"--record", "--windowed"}).recordPath, "--windowed");
    EXPECT_EQ(parse({"--record", "--windowed"}).screen, ScreenChoice::Ask);
}

TEST(CommandLine, LongOptionsMayBeShortenedToAnyUniquePrefix) {
    EXPECT_EQ(parse({"--win"}).screen, ScreenChoice::Windowed);
    EXPECT_EQ(parse({"--f"}).screen, ScreenChoice::Fullscreen);
    EXPECT_EQ(parse({"--vers"}).action, StartAction::ShowVersion);
    EXPECT_EQ(parse({"--he"}).action, StartAction::ShowHelp);
    EXPECT_EQ(parse({"--rec=game.rec"}).recordPath, "game.rec");
    EXPECT_EQ(parse({"--q", "low"}).quality, Quality::Low);
    EXPECT_EQ(parse({"--win", "--full"}).problem,
              "vromdash: --windowed and --fullscreen exclude each other");
    // A prefix of two options names both rather than calling itself unknown.
    EXPECT_EQ(parse({"--w"}).problem, "vromdash: option '--w' is ambiguous (--windowed, --watch)");
    EXPECT_EQ(parse({"--w=x.rec"}).problem,
              "vromdash: option '--w' is ambiguous (--windowed, --watch)");
    EXPECT_EQ(parse({"--wz"}).problem, "vromdash: unknown option '--wz'");
}

TEST(CommandLine, QualityTakesOneOfFourLevelsInEitherSpelling) {
    EXPECT_EQ(parse({}).quality, std::nullopt) << "the settings file decides";
    for (const Quality level : {Quality::Auto, Quality::Low, Quality::Medium, Quality::High}) {
        const std::string name = qualityName(level);
        EXPECT_EQ(parse({"--quality", name.c_str()}).quality, level) << name;
        const std::string joined = "--quality=" + name;
        EXPECT_EQ(parse({joined.c_str(), "--windowed"}).quality, level) << name;
    }
    // The last one counts, as with every GNU option that takes a value.
    EXPECT_EQ(parse({"--quality=low", "--quality", "high"}).quality, Quality::High);

    const std::string takes = "vromdash: --quality takes auto, low, medium or high, not ";
    EXPECT_EQ(parse({"--quality", "fast"}).problem, takes + "'fast'");
    EXPECT_EQ(parse({"--quality=LOW"}).problem, takes + "'LOW'");
    EXPECT_EQ(parse({"--quality="}).problem, takes + "''");
    EXPECT_EQ(parse({"--quality"}).problem,
              "vromdash: --quality needs a level: auto, low, medium or high");
    // A bad value is refused even after --help.
    EXPECT_EQ(parse({"--help", "--quality=ultra"}).action, StartAction::Refuse);
}

TEST(CommandLine, DoubleDashEndsTheOptionsAndOptionsWithoutValuesRefuseOne) {
    const CommandLine ended = parse({"--windowed", "--"});
    EXPECT_EQ(ended.action, StartAction::Play);
    EXPECT_EQ(ended.screen, ScreenChoice::Windowed);
    // After "--" an option is an operand, and the game takes none.
    EXPECT_EQ(parse({"--", "--fullscreen"}).problem,
              "vromdash: unexpected argument '--fullscreen'");
    EXPECT_EQ(parse({"--", "--help"}).action, StartAction::Refuse);
    EXPECT_EQ(parse({"--fullscreen=yes"}).problem, "vromdash: --fullscreen takes no value");
    EXPECT_EQ(parse({"--help=me"}).problem, "vromdash: --help takes no value");
}

TEST(CommandLine, MuteStartsWithTheSoundOff) {
    EXPECT_FALSE(parse({}).muted);
    const CommandLine muted = parse({"--windowed", "--mute"});
    EXPECT_EQ(muted.action, StartAction::Play);
    EXPECT_TRUE(muted.muted);
    EXPECT_EQ(muted.screen, ScreenChoice::Windowed);
    EXPECT_EQ(parse({"--mute=yes"}).action, StartAction::Refuse);
}

TEST(CommandLine, WatchTakesAFileAndExcludesRecording) {
    EXPECT_EQ(parse({"--watch", "bug.rec"}).watchPath, "bug.rec");
    EXPECT_EQ(parse({"--watch=bug.rec"}).watchPath, "bug.rec");
    EXPECT_EQ(parse({"--watch", "bug.rec"}).action, StartAction::Play);
    EXPECT_EQ(parse({"--watch"}).problem, "vromdash: --watch needs a file name");
    EXPECT_EQ(parse({"--watch", "a.rec", "--record", "b.rec"}).problem,
              "vromdash: --watch and --record exclude each other");
}

TEST(CommandLine, HelpWinsOverVersionAndScreenOptions) {
    EXPECT_EQ(parse({"--version", "--help"}).action, StartAction::ShowHelp);
    EXPECT_EQ(parse({"--help", "--version"}).action, StartAction::ShowHelp);
    EXPECT_EQ(parse({"-h"}).action, StartAction::ShowHelp);
    EXPECT_EQ(parse({"--fullscreen", "--version"}).action, StartAction::ShowVersion);
}

TEST(CommandLine, HelpAndVersionExitWithZeroARefusalWithTwoAndTheUsage) {
    int status = -1;
    const std::string help = answerFor({"--help"}, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(help.rfind("Usage: vromdash [--windowed | --fullscreen] [--quality LEVEL] "
                         "[--record FILE]\n",
                         0),
              0u)
        << help;
    EXPECT_NE(help.find("--version"), std::string::npos);
    EXPECT_NE(help.find("  --quality LEVEL  auto, low, medium or high"), std::string::npos);

    const std::string version = answerFor({"--version"}, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(version, std::string("vromdash ") + VROMDASH_VERSION + "\n");

    const std::string refusal = answerFor({"--bogus"}, status);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(refusal, "vromdash: unknown option '--bogus'\n" + help);

    EXPECT_EQ(answerFor({"--quality", "ultra"}, status),
              "vromdash: --quality takes auto, low, medium or high, not 'ultra'\n" + help);
    EXPECT_EQ(status, 2);
}
