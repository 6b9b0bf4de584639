#include "tests/support/frame_fixture.h"

#include <GLFW/glfw3.h>

#include "app/input.h"
#include "app/main_loop.h"
#include "recordings/replay.h"

void FrameTest::SetUp() {
    WorldTest::SetUp();
    resetGameState();
}

void FrameTest::TearDown() {
    resetGameState();
    WorldTest::TearDown();
}

void FrameTest::restart() {
    resetGameState();
    world = nullptr;
    owned = std::make_unique<World>();
    world = owned.get();
    now = 0.0;
}

bool FrameTest::frame(double seconds, const std::function<void()>& input) {
    now += seconds;
    FrameSource source;
    source.draw = false;
    source.pollEvents = [&] {
        if (input) {
            input();
        }
    };
    return runFrame(nullptr, FramePrograms(), static_cast<float>(now), nullptr, &source);
}

void FrameTest::press(int key) {
    onKey(nullptr, key, 0, GLFW_PRESS, 0);
}

void FrameTest::release(int key) {
    onKey(nullptr, key, 0, GLFW_RELEASE, 0);
}

void FrameTest::tap(int key) {
    press(key);
    release(key);
}

void FrameTest::dropAllCrates() {
    for (auto& crate : world->crates) {
        Pose pose = crate->actor->getGlobalPose();
        pose.p.y = -60.0f;
        crate->actor->setGlobalPose(pose, true);
    }
}
