// The game as players install it: the desktop files validate, the Debian
// package builds and passes lintian, and the package's launcher, unpacked
// anywhere and started from another directory, plays and quits cleanly.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/game_process.h"
#include "tests/support/gl_context.h"

namespace fs = std::filesystem;

namespace {

// A command's standard output and error, and its exit status last.
std::string withStatus(const std::string& command) {
    return commandOutput("(" + command + ") 2>&1; echo \"exit $?\"");
}

}  // namespace

TEST(Package, DesktopEntryAndMetainfoValidate) {
    EXPECT_EQ(withStatus("desktop-file-validate '" + sourcePath("dist/vromdash.desktop") + "'"),
              "exit 0\n");
    const std::string metainfo =
        withStatus("appstreamcli validate --no-net '" +
                   sourcePath("dist/io.github.vromdash.Vromdash.metainfo.xml") + "'");
    EXPECT_NE(metainfo.find("exit 0\n"), std::string::npos) << metainfo;
}

TEST(Package, BuildsPassesLintianAndItsLauncherPlaysFromAnyDirectory) {
    // The package, as `cmake --build build --target package` makes it.
    const std::string deb = buildPath("vromdash_" VROMDASH_VERSION "_amd64.deb");
    fs::remove(deb);
    const std::string cpack = withStatus("cd '" + buildPath("") + "' && cpack -G DEB");
    ASSERT_TRUE(fs::exists(deb)) << cpack;

    // Errors fail the test; warnings are printed for whoever reads the log.
    // -I: lintian tells of missing hardening only at its "info" level.
    const std::string lintian = withStatus("lintian -I --fail-on error '" + deb + "'");
    EXPECT_NE(lintian.find("exit 0\n"), std::string::npos) << lintian;
    EXPECT_EQ(lintian.find("\nE: "), std::string::npos) << lintian;
    // Built with Debian's hardening flags (see the next test).
    EXPECT_EQ(lintian.find("hardening-no-"), std::string::npos) << lintian;
    std::cout << lintian;

    // The libraries found at build time become dependencies, and the font
    // the display looks for comes with the package.
    const std::string depends = withStatus("dpkg-deb -f '" + deb + "' Depends");
    for (const char* needed : {"libopenal1", "libsndfile1", "libglfw3", "libbullet",
                               "libfontconfig1", "libinih1", "fonts-dejavu-core"}) {
        EXPECT_NE(depends.find(needed), std::string::npos) << needed << " in " << depends;
    }

    const std::string root = scratchDirectory("unpacked-package");
    ASSERT_EQ(withStatus("dpkg-deb -x '" + deb + "' '" + root + "'"), "exit 0\n");
    for (const char* installed :
         {"usr/games/vromdash", "usr/lib/games/vromdash/vromdash",
          "usr/share/games/vromdash/Vrom2/shader/shader.frag",
          "usr/share/games/vromdash/Vrom2/model/road3/road3.obj",
          "usr/share/games/vromdash/Vrom2/sound/engine.wav",
          "usr/share/applications/vromdash.desktop",
          "usr/share/metainfo/io.github.vromdash.Vromdash.metainfo.xml",
          "usr/share/icons/hicolor/256x256/apps/vromdash.png", "usr/share/man/man6/vromdash.6.gz",
          "usr/share/doc/vromdash/copyright", "usr/share/doc/vromdash/changelog.gz"}) {
        EXPECT_TRUE(fs::exists(root + "/" + installed)) << installed;
    }

    // Started from a directory that has no asset tree of its own.
    // A recording named without a directory lands where the player is.
    GameStart start;
    start.program = root + "/usr/games/vromdash";
    start.arguments = {"--windowed", "--record", "played.rec"};
    start.workingDirectory = scratchDirectory("elsewhere");
    GameProcess game(start);
    const std::string window = game.findWindow();
    ASSERT_FALSE(window.empty()) << game.report();
    // X prints the car's position from inside the frame loop: frames run.
    EXPECT_TRUE(answersX(game, window)) << game.report();
    EXPECT_EQ(game.quitWithEscape(window), 0) << game.report();
    // Every shader, model and image was found where the launcher put the game.
    const std::string output = game.output();
    EXPECT_EQ(output.rfind("Hallo Vrom\n", 0), 0u) << output;
    EXPECT_EQ(output.find("ERROR"), std::string::npos) << output;
    EXPECT_EQ(output.find("Fullscreen?"), std::string::npos) << output;
    EXPECT_TRUE(fs::exists(start.workingDirectory + "/played.rec"));
}

// The program as `cmake --install --strip` puts it, checked the way Debian
// checks its packages: position-independent, stack protector, fortified
// functions, read-only relocations bound at start, control-flow marking.
// Stack-clash probes appear only in functions with frames over a page,
// which the game may not have: "unknown" then, never "no".
TEST(Package, TheInstalledProgramIsHardenedAsDebianPackagesAre) {
    const std::string prefix = scratchDirectory("hardened-install");
    const std::string install =
        withStatus("cmake --install '" + buildPath("") + "' --prefix '" + prefix + "' --strip");
    ASSERT_NE(install.find("exit 0\n"), std::string::npos) << install;
    const std::string program = prefix + "/lib/games/vromdash/vromdash";
    ASSERT_TRUE(fs::exists(program));
    const std::string report = withStatus("hardening-check '" + program + "'");
    EXPECT_NE(report.find("exit 0\n"), std::string::npos) << report;
    for (const char* line : {" Position Independent Executable: yes\n", " Stack protected: yes\n",
                             " Fortify Source functions: yes", " Read-only relocations: yes\n",
                             " Immediate binding: yes\n", " Control flow integrity: yes\n"}) {
        EXPECT_NE(report.find(line), std::string::npos) << line << report;
    }
    const bool probes = report.find(" Stack clash protection: yes\n") != std::string::npos;
    const bool noLargeFrames =
        report.find(
            " Stack clash protection: unknown, no -fstack-clash-protection instructions "
            "found\n") != std::string::npos;
    EXPECT_TRUE(probes || noLargeFrames) << report;
    std::cout << report;
}
