#include "recordings/replay_report.h"

#include <cstdio>
#include <ostream>

#include "world/body_hashes.h"
#include "world/world.h"

void ReplayReport::frameDone(int frame) const {
    if (frame % every == 0 || frame == last) {
        out << hashReport(*world, frame, bodies) << std::flush;
    }
}

void ReplayReport::stopped(int frames) const {
    if (frames < last) {
        if (frames % every != 0) {
            out << hashReport(*world, frames, bodies);
        }
        out << "watching stopped at frame " << frames << " of " << last << std::endl;
    } else if (last == 0) {
        out << hashReport(*world, 0, bodies);
    }
    if (const RigidDynamic* chassis = currentChassis()) {
        const vec3 p = chassis->getGlobalPose().p;
        char line[96];
        std::snprintf(line, sizeof line, "final car position: %g %g %g\n", p.x, p.y, p.z);
        out << line << std::flush;
    }
}

void ReplayReport::endedEarly() const {
    out << "recording ended early after frame " << last << std::endl;
}
