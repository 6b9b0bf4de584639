#include "app/play_state.h"

#include <GLFW/glfw3.h>

#include <iostream>
#include <optional>
#include <utility>
#include <vector>

#include "app/input_state.h"
#include "world/world.h"

PlayState playState;

namespace {

// The controls in short, as the display lists them.
const std::vector<std::pair<std::string, std::string>> CONTROLS = {
    {"Up / Down", "drive forward / backward"},
    {"Left / Right", "steer"},
    {"Space", "set the car upright"},
    {"X", "print the car's position on the console"},
    {"C", "follow camera / free camera"},
    {"W A S D, mouse", "free camera: fly, look around"},
    {"Left Shift", "free the captured cursor"},
    {"Mouse wheel", "free camera: zoom"},
    {"F3", "wireframe on / off"},
    {"1, 2, 3", "build layout 1, 2 or 3"},
    {"P", "pause / go on"},
    {"M", "sound off / on"},
    {"H", "hide / show this display"},
    {"F1", "show / hide the controls"},
    {"Escape", "quit"},
    {"Gamepad", "triggers drive, stick steers, A upright, Start pause"},
};

void flip(bool& value, int times) {
    if (times % 2 != 0) {
        value = !value;
    }
}

void showMessage(std::string text) {
    playState.message = std::move(text);
    playState.messageUntil = playState.gameSteps + MESSAGE_STEPS;
}

void reportClear(const RuleEvents& events) {
    const bool newBest = playState.bestTimes.offer(layoutKindFor(events.clearedLayout),
                                                   events.clearSteps, std::cout);
    showMessage("Level " + std::to_string(events.clearedLevel) + " cleared in " +
                clockText(events.clearSteps) + (newBest ? " - new best!" : ""));
}

std::vector<std::string> statusLines(const World& w) {
    std::vector<std::string> lines = {
        "Level " + std::to_string(w.level),
        "Crates " + std::to_string(cratesOnRoad(w)) + " / " + std::to_string(w.crates.size()),
        clockText(w.levelSteps),
    };
    const std::optional<long> best = playState.bestTimes.bestFor(layoutKindFor(w.layoutNumber));
    if (best) {
        lines.push_back("Best " + clockText(*best));
    }
    return lines;
}

}  // namespace

void applyPlayKeys() {
    flip(playState.paused, keyPresses[GLFW_KEY_P]);
    flip(playState.hudShown, keyPresses[GLFW_KEY_H]);
    flip(playState.controlsShown, keyPresses[GLFW_KEY_F1]);
    flip(playState.muted, keyPresses[GLFW_KEY_M]);
    // A focus lost and given back within one frame's events (capturing the
    // cursor does that) is no reason to stop.
    if (focusLosses > 0 && !windowFocused) {
        playState.paused = true;
    }
    focusLosses = 0;
}

bool holdPaused() {
    forgetKeyPresses();
    return false;
}

void followRules(bool stepped) {
    if (stepped) {
        playState.gameSteps += 1;
    }
    if (!world) {
        return;
    }
    const RuleEvents& events = world->ruleEvents;
    if (events.levelCleared) {
        reportClear(events);
    } else if (events.carFell) {
        showMessage("The car fell - the level starts again");
    }
}

HudView hudView() {
    HudView view;
    // Pause and the controls were asked for: they show even with the rest
    // of the display hidden, so a paused game never looks hung.
    if (playState.paused) {
        view.centre.push_back("Paused - P to go on");
    }
    if (playState.controlsShown) {
        view.controls = CONTROLS;
    }
    if (!playState.hudShown) {
        return view;
    }
    if (world) {
        view.status = statusLines(*world);
    }
    if (playState.gameSteps < playState.messageUntil) {
        view.centre.push_back(playState.message);
    }
    if (!playState.controlsShown && playState.gameSteps < CONTROLS_HINT_STEPS) {
        view.hint = "F1 controls";
    }
    return view;
}

void keepBestTimes(std::ostream& console) {
    playState.bestTimes.path = bestTimesPath();
    playState.bestTimes.load(console);
}

void resetPlayState() {
    BestTimes kept = std::move(playState.bestTimes);
    playState = PlayState();
    playState.bestTimes = std::move(kept);
}
