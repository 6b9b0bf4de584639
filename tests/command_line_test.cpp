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
    // GNU-style prefixes are not guessed at.
    EXPECT_EQ(parse({"--full"}).action, StartAction::Refuse);
    EXPECT_EQ(parse({"level2"}).problem, "vromdash: unexpected argument 'level2'");
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
    EXPECT_EQ(help.rfind("Usage: vromdash [--windowed | --fullscreen] [--record FILE]\n", 0), 0u)
        << help;
    EXPECT_NE(help.find("--version"), std::string::npos);

    const std::string version = answerFor({"--version"}, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(version, std::string("vromdash ") + VROMDASH_VERSION + "\n");

    const std::string refusal = answerFor({"--bogus"}, status);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(refusal, "vromdash: unknown option '--bogus'\n" + help);
}
