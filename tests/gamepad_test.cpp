// The gamepad: what its sticks, triggers and buttons ask of the car, through
// the real frame with scripted pad states (there is no pad on the test
// machines); its recording line; the mappings file; connect lines.
#include "app/gamepad.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/input.h"
#include "app/main_loop.h"
#include "app/play_state.h"
#include "recordings/recording.h"
#include "recordings/recording_writer.h"
#include "recordings/replay.h"
#include "tests/support/frame_fixture.h"
#include "tests/support/game_process.h"
#include "tests/support/gl_context.h"
#include "world/body_hashes.h"

namespace {

PadState connectedPad() {
    PadState state;
    state.connected = true;
    return state;
}

PadState withTriggers(float right, float left) {
    PadState state = connectedPad();
    state.axes[GLFW_GAMEPAD_AXIS_RIGHT_TRIGGER] = right;
    state.axes[GLFW_GAMEPAD_AXIS_LEFT_TRIGGER] = left;
    return state;
}

PadState withStick(float x, float y) {
    PadState state = connectedPad();
    state.axes[GLFW_GAMEPAD_AXIS_LEFT_X] = x;
    state.axes[GLFW_GAMEPAD_AXIS_LEFT_Y] = y;
    return state;
}

}  // namespace

TEST(GamepadMapping, TriggersDriveAndTheStickSteersPastItsDeadZone) {
    // Released triggers read -1: no push; fully pulled, full push.
    EXPECT_EQ(padDrive(connectedPad()).forward, 0.0f);
    EXPECT_EQ(padDrive(connectedPad()).backward, 0.0f);
    EXPECT_EQ(padDrive(withTriggers(1.0f, -1.0f)).forward, 1.0f);
    EXPECT_EQ(padDrive(withTriggers(-1.0f, 1.0f)).backward, 1.0f);
    EXPECT_FLOAT_EQ(padDrive(withTriggers(0.0f, -1.0f)).forward, 0.5f);
    // A trigger resting a hair off its end does not creep.
    EXPECT_EQ(padDrive(withTriggers(-0.97f, -0.99f)).forward, 0.0f);

    // Inside the dead zone, in any direction, nothing steers.
    for (const float angle : {0.0f, 0.7f, 2.0f, 3.1f, 4.5f}) {
        const PadDrive drive =
            padDrive(withStick(0.14f * std::cos(angle), 0.14f * std::sin(angle)));
        EXPECT_EQ(drive.left, 0.0f) << angle;
        EXPECT_EQ(drive.right, 0.0f) << angle;
    }
    // Full travel is full lock; half the travel past the dead zone, half.
    EXPECT_FLOAT_EQ(padDrive(withStick(-1.0f, 0.0f)).left, 1.0f);
    EXPECT_FLOAT_EQ(padDrive(withStick(1.0f, 0.0f)).right, 1.0f);
    const float half = STICK_DEAD_ZONE + (1.0f - STICK_DEAD_ZONE) * 0.5f;
    EXPECT_NEAR(padDrive(withStick(half, 0.0f)).right, 0.5f, 1e-6f);
    EXPECT_EQ(padDrive(withStick(half, 0.0f)).left, 0.0f);
    // Straight up is no steering, a diagonal its sideways share.
    EXPECT_EQ(padDrive(withStick(0.0f, -1.0f)).right, 0.0f);
    EXPECT_NEAR(padDrive(withStick(0.70710678f, 0.70710678f)).right, 0.70710678f, 1e-5f);
    // A worn stick beyond the unit circle still gives no more than full lock.
    EXPECT_LE(padDrive(withStick(1.0f, 1.0f)).right, 1.0f);

    // The d-pad steers like the arrow keys.
    PadState dpad = connectedPad();
    dpad.buttons[GLFW_GAMEPAD_BUTTON_DPAD_LEFT] = 1;
    EXPECT_EQ(padDrive(dpad).left, 1.0f);
    // A pad that is gone asks for nothing, whatever it last read.
    PadState gone = withTriggers(1.0f, 1.0f);
    gone.connected = false;
    EXPECT_EQ(padDrive(gone).forward, 0.0f);
}

namespace {

class PadFrames : public FrameTest {
protected:
    // One frame at 30 frames a second: one step each.
    void frame(const std::function<void()>& input = {}) { FrameTest::frame(1.0 / 30.0, input); }
    // Drives `frames` frames with this input held from the first.
    uint64_t drive(int frames, const std::function<void()>& hold) {
        restart();
        frame(hold);
        for (int i = 1; i < frames; ++i) {
            frame();
        }
        return worldHash(*world);
    }
    static void givePad(const PadState& state) {
        deliverEvent(nullptr, InputEvent::padEvent(state));
    }

    float heading() const {
        const Quat q = world->car->chassis->getGlobalPose().q;
        const vec3 forward = rotateVector(q, vec3(0.0f, 0.0f, -1.0f));
        return std::atan2(-forward.x, -forward.z);
    }
    vec3 carAt() const { return world->car->chassis->getGlobalPose().p; }
};

}  // namespace

// A fully pulled trigger is the Up key to the last bit; half a trigger
// pushes about half as hard; a resting stick changes nothing.
TEST_F(PadFrames, AFullTriggerIsTheUpKeyAndHalfATriggerHalfThePush) {
    const uint64_t byKey = drive(60, [] { press(GLFW_KEY_UP); });
    const float keyDistance = CAR_START_POSITION.z - carAt().z;
    EXPECT_EQ(drive(60, [] { givePad(withTriggers(1.0f, -1.0f)); }), byKey);
    // Keys and pad together push no harder than either.
    EXPECT_EQ(drive(60,
                    [] {
                        press(GLFW_KEY_UP);
                        givePad(withTriggers(1.0f, -1.0f));
                    }),
              byKey);
    // A stick at rest inside its dead zone leaves the drive as the key had it.
    EXPECT_EQ(drive(60,
                    [] {
                        press(GLFW_KEY_UP);
                        givePad(withStick(0.1f, -0.08f));
                    }),
              byKey);

    drive(60, [] { givePad(withTriggers(0.0f, -1.0f)); });
    const float halfDistance = CAR_START_POSITION.z - carAt().z;
    EXPECT_GT(keyDistance, 1.0f);
    EXPECT_GT(halfDistance, 0.3f * keyDistance);
    EXPECT_LT(halfDistance, 0.7f * keyDistance);
}

// Over the same steps, half the stick's travel turns the car less than full
// lock, and full lock on the stick turns it as the Left key does.
TEST_F(PadFrames, HalfTheStickTurnsLessThanFullLock) {
    const PadState fullLeft = [] {
        PadState state = withStick(-1.0f, 0.0f);
        state.axes[GLFW_GAMEPAD_AXIS_RIGHT_TRIGGER] = 1.0f;
        return state;
    }();
    PadState halfLeft = fullLeft;
    halfLeft.axes[GLFW_GAMEPAD_AXIS_LEFT_X] = -(STICK_DEAD_ZONE + (1.0f - STICK_DEAD_ZONE) * 0.5f);

    const uint64_t byKeys = drive(90, [] {
        press(GLFW_KEY_UP);
        press(GLFW_KEY_LEFT);
    });
    EXPECT_EQ(drive(90, [&] { givePad(fullLeft); }), byKeys);
    const float fullTurn = heading();
    drive(90, [&] { givePad(halfLeft); });
    const float halfTurn = heading();
    EXPECT_GT(fullTurn, 0.1f);
    EXPECT_GT(halfTurn, 0.01f);
    EXPECT_LT(halfTurn, fullTurn);
}

// A sets the car upright as Space does, Start pauses as P does, Back
// switches the camera as C does: once per press, held or not.
TEST_F(PadFrames, ButtonsActAsTheKeysTheyStandFor) {
    PadState start = connectedPad();
    start.buttons[GLFW_GAMEPAD_BUTTON_START] = 1;
    frame([&] { givePad(start); });
    EXPECT_TRUE(playState.paused);
    frame();  // still held: no second flip
    EXPECT_TRUE(playState.paused);
    frame([] { givePad(connectedPad()); });
    frame([&] { givePad(start); });
    EXPECT_FALSE(playState.paused);

    PadState back = connectedPad();
    back.buttons[GLFW_GAMEPAD_BUTTON_BACK] = 1;
    frame([&] { givePad(back); });
    EXPECT_TRUE(freeCamera);
    frame();
    EXPECT_TRUE(freeCamera);

    // Y prints the car's position, as X does: once for the press.
    PadState y = connectedPad();
    y.buttons[GLFW_GAMEPAD_BUTTON_Y] = 1;
    std::string printed;
    {
        StdoutCapture capture;
        frame([&] { givePad(y); });
        frame();
        printed = capture.text();
    }
    EXPECT_EQ(printed.rfind("Position: ", 0), 0u) << printed;
    EXPECT_EQ(printed.find("Position: ", 1), std::string::npos) << printed;

    // Tipped over, A puts the chassis back upright where it stands.
    Pose tipped = world->car->chassis->getGlobalPose();
    tipped.q = Quat{0.0f, 0.0f, std::sin(0.6f), std::cos(0.6f)};
    world->car->chassis->setGlobalPose(tipped, true);
    PadState a = connectedPad();
    a.buttons[GLFW_GAMEPAD_BUTTON_A] = 1;
    frame([&] { givePad(a); });
    const Quat q = world->car->chassis->getGlobalPose().q;
    EXPECT_GT(std::fabs(q.w), 0.99f);
}

// The pad's states go into the recording as they change and come back in
// the replay: a pad game replays bit for bit, and a line written by hand as
// the README describes it drives the car.
TEST_F(PadFrames, APadRecordingReplaysBitForBit) {
    const std::string path = scratchDirectory("pad-recording") + "/pad.rec";
    RecordingWriter writer;
    RecordingHeader header;
    header.gameVersion = "1.0.0";
    ASSERT_TRUE(writer.open(path, header));
    restart();
    std::vector<PadState> states;
    for (int i = 0; i < 40; ++i) {
        PadState state = withTriggers(i < 25 ? 1.0f : -1.0f, -1.0f);
        state.axes[GLFW_GAMEPAD_AXIS_LEFT_X] = 0.02f * static_cast<float>(i) - 0.3f;
        states.push_back(state);
    }
    for (const PadState& state : states) {
        frame([&] {
            const InputEvent event = InputEvent::padEvent(state);
            writer.add(event);
            deliverEvent(nullptr, event);
        });
        writer.endFrame(static_cast<float>(now));
    }
    writer.finish();
    const uint64_t played = worldHash(*world);

    Recording recording;
    std::string problem;
    ASSERT_TRUE(readRecording(path, recording, problem)) << problem;
    ASSERT_EQ(recording.frames.size(), states.size());
    EXPECT_EQ(recording.frames[3].events.at(0).pad, states[3]);
    for (int run = 0; run < 2; ++run) {
        resetGameState();
        owned = std::make_unique<World>();
        world = owned.get();
        replayFrames(testGlContext(), FramePrograms{}, recording, false, [](int) {});
        EXPECT_EQ(worldHash(*world), played) << "replay " << run + 1;
    }
}

TEST(GamepadRecording, APadLineReadsBackAndBadOnesAreRefused) {
    const std::string header = "vromdash-recording 2\ngame 1.0.0\nfullscreen 0\nwindow 640 360\n";
    Recording recording;
    std::string problem;
    ASSERT_TRUE(parseRecording(header + "frame 0x1p+0 pad 1 -0x1p-1 0x0p+0 0x0p+0 0x0p+0 -0x1p+0 "
                                        "0x1p+0 100000000000010\nend\n",
                               recording, problem))
        << problem;
    const PadState& read = recording.frames.at(0).events.at(0).pad;
    EXPECT_TRUE(read.connected);
    EXPECT_EQ(read.axes[GLFW_GAMEPAD_AXIS_LEFT_X], -0.5f);
    EXPECT_EQ(read.axes[GLFW_GAMEPAD_AXIS_RIGHT_TRIGGER], 1.0f);
    EXPECT_EQ(read.buttons[GLFW_GAMEPAD_BUTTON_A], 1);
    EXPECT_EQ(read.buttons[GLFW_GAMEPAD_BUTTON_DPAD_DOWN], 1);
    EXPECT_EQ(read.buttons[GLFW_GAMEPAD_BUTTON_B], 0);
    for (const char* bad : {
             "pad 2 0 0 0 0 -1 -1 000000000000000",      // connected is 0 or 1
             "pad 1 0 0 0 0 -1 -1 00000000000000",       // fourteen buttons
             "pad 1 0 0 0 0 -1 -1 00000000000000x",      // not 0 or 1
             "pad 1 0 0 0 0 -1 000000000000000",         // five axes
             "pad 1 0 0 0 0x1.8p+0 -1 000000000000000",  // an axis past 1
             "pad 1 0 0 0 0 nan -1 000000000000000",     // not a number
         }) {
        EXPECT_FALSE(parseRecording(header + "frame 0x1p+0 " + bad + "\n", recording, problem))
            << bad;
        EXPECT_EQ(problem, "line 5: the frame record does not parse") << bad;
    }
    // The pad came with format 2: a format-1 file with one is damaged.
    EXPECT_FALSE(
        parseRecording("vromdash-recording 1\ngame 1.0.0\nfullscreen 0\nwindow 640 "
                       "360\nframe 0x1p+0 pad 0 0 0 0 0 -1 -1 000000000000000\n",
                       recording, problem));
}

// A recording written by hand from the README's description of the pad's
// line: the right trigger held for two seconds of frames drives the car
// forward through the replay tool.
TEST(ReplayTool, AHandWrittenPadRecordingDrivesTheCar) {
    // Frames 1/32 s apart; the right trigger pulled in the first and held.
    std::string text = "vromdash-recording 3\ngame 1.0.0\nfullscreen 0\nwindow 640 360\nmuted 0\n";
    for (int i = 1; i <= 120; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "frame %a", i / 32.0);
        text += line;
        if (i == 1) {
            text += " pad 1 0x0p+0 0x0p+0 0x0p+0 0x0p+0 -0x1p+0 0x1p+0 000000000000000";
        }
        text += "\n";
    }
    const std::string fixed = text + "end\n";
    const std::string path = scratchDirectory("pad-by-hand") + "/by-hand.rec";
    std::ofstream(path) << fixed;
    const std::string output = commandOutput("'" + std::string(VROMDASH_BINARY_DIR) +
                                             "/vromdash-replay' '" + path + "' --frames-only");
    const size_t at = output.find("final car position: ");
    ASSERT_NE(at, std::string::npos) << output;
    std::istringstream position(output.substr(at + 20));
    float x = 0, y = 0, z = 0;
    position >> x >> y >> z;
    EXPECT_LT(z, CAR_START_POSITION.z - 2.0f) << output;
}

TEST(GamepadMappings, OnlyMappingsGoToGlfwAndEveryOtherLineIsNamedOnce) {
    ASSERT_NE(testGlContext(), nullptr);
    const std::string good =
        "03000000de2800000112000001000000,Test Pad,a:b0,b:b1,x:b2,y:b3,back:b4,start:b5,"
        "leftx:a0,lefty:a1,lefttrigger:a2,righttrigger:+a5,dpup:h0.1,dpleft:h0.8,"
        "platform:Linux,";
    EXPECT_TRUE(isGamepadMapping(good));
    EXPECT_TRUE(isGamepadMapping("0300000000000000000000000000ab00,X,a:b0"));
    // Lines as the community's mapping files write them: elements GLFW has no
    // use for, half axes, a hint and a checksum. GLFW skips what it does not
    // know, so such a line is a mapping all the same.
    EXPECT_TRUE(isGamepadMapping(
        "050000005e040000130b000001000000,Modern Pad,a:b0,b:b1,misc1:b15,paddle1:b16,"
        "paddle4:b19,touchpad:b20,+leftx:a0,-leftx:a1,righttrigger:a5~,crc:1a2b,"
        "hint:!SDL_GAMECONTROLLER_USE_BUTTON_LABELS:=1,platform:Linux,"));
    for (const char* bad :
         {"", "hello", "03000000de28,Short Guid,a:b0", "03000000de2800000112000001000000,,a:b0",
          "03000000de2800000112000001000000,No Bindings,platform:Linux",
          "03000000de2800000112000001000000,Bad Binding,a:q7",
          "03000000de2800000112000001000000,Bad Hat,dpup:h0",
          "03000000de2800000112000001000000,No Colon,a",
          "03000000de2800000112000001000000,Empty Extra,a:b0,misc1:",
          "03000000de2800000112000001000000,Bad Half Axis,+leftx:q0",
          "03000000de2800000112000001000000,Only Extras,misc1:b15,hint:!X:=1"}) {
        EXPECT_FALSE(isGamepadMapping(bad)) << bad;
    }
    std::ostringstream console;
    const std::string text = "# a comment\n\n" + good + "\nnot a mapping\r\n" + good + "\n" +
                             "03000000de2800000112000001000000,Broken,a:b0,b\n";
    EXPECT_EQ(addGamepadMappings(text, "pads.txt", console), 2);
    EXPECT_EQ(console.str(),
              "vromdash: pads.txt line 4 is not a gamepad mapping; skipped\n"
              "vromdash: pads.txt line 6 is not a gamepad mapping; skipped\n");
}

TEST(GamepadMappings, AConnectedOrLostPadIsOneLine) {
    EXPECT_EQ(padConnectionLine(true, true, "Test Pad"), "gamepad connected: Test Pad");
    EXPECT_EQ(padConnectionLine(false, false, "Test Pad"), "gamepad disconnected: Test Pad");
    const std::string unmapped = padConnectionLine(true, false, "Odd Stick");
    EXPECT_EQ(unmapped.rfind("joystick connected without a gamepad mapping: Odd Stick (", 0), 0u);
    EXPECT_NE(unmapped.find("/gamecontrollerdb.txt)"), std::string::npos) << unmapped;
    // The callback for a joystick number GLFW never uses is ignored.
    StdoutCapture capture;
    onJoystick(-1, GLFW_CONNECTED);
    onJoystick(GLFW_JOYSTICK_LAST + 1, GLFW_DISCONNECTED);
    EXPECT_EQ(capture.text(), "");
}
