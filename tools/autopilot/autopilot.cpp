#include "tools/autopilot/autopilot.h"

#include <GLFW/glfw3.h>

#include <algorithm>
#include <cmath>
#include <glm/geometric.hpp>
#include <utility>

#include "app/input.h"
#include "app/main_loop.h"
#include "recordings/recording.h"
#include "recordings/recording_writer.h"
#include "tools/assetgen/route.h"
#include "world/physics.h"
#include "world/world.h"

namespace {

using glm::vec2;

constexpr float PI = 3.14159265f;
constexpr float DEG = PI / 180.0f;

// Where the car's wheels sit on the chassis (front-left, front-right,
// rear-left, rear-right), as the car is built.
const vec3 WHEEL_ANCHORS[4] = {
    {-0.6f, -0.2f, -1.0f}, {0.6f, -0.2f, -1.0f}, {-0.6f, -0.2f, 1.0f}, {0.6f, -0.2f, 1.0f}};

// The plateau under the asphalt reaches a little beyond its painted edge.
constexpr float PLATEAU_BEYOND_ASPHALT = 0.95f;
// Closest a wheel centre may be planned to come to the plateau's edge.
constexpr float WHEEL_EDGE_MARGIN = 0.4f;
// Crate sliding on the road: friction 0.3 against 0.3, so 0.3 g.
constexpr float CRATE_SLIDE_DECELERATION = 0.3f * 9.8f;
// Share of the car's speed a struck crate leaves with (the crate is a third
// of the car's mass; the rest is what the bounce and the angle cost).
constexpr float STRIKE_TRANSFER = 0.85f;
// Below this a crate has left the plateau for good.
constexpr float CRATE_GONE_HEIGHT = -2.0f;
// A jump this large in one frame means the level was built again.
constexpr float REBUILD_JUMP = 8.0f;

vec2 xz(const vec3& v) {
    return vec2(v.x, v.z);
}

// The right-hand side of a direction on the ground (x, z): facing -Z the
// right is +X.
vec2 rightOf(vec2 direction) {
    return vec2(-direction.y, direction.x);
}

float headingOfDirection(vec2 direction) {
    return std::atan2(-direction.x, -direction.y);
}

// An angle brought into [-pi, pi].
float wrapAngle(float a) {
    return std::remainder(a, 2.0f * PI);
}

float smoothStep01(float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

// Where a point lies relative to the road.
struct RoadFrame {
    float along = 0.0f;
    float lateral = 0.0f;  // positive to the right of the driving direction
    float halfWidth = 0.0f;
    vec2 centre{0.0f};
    vec2 tangent{0.0f, -1.0f};
};

RoadFrame roadFrameAt(vec2 p) {
    const RoadProjection r = projectOntoRoad(p.x, p.y);
    RoadFrame f;
    f.along = r.distanceAlong;
    f.halfWidth = r.halfWidth;
    f.centre = r.position;
    f.tangent = r.direction;
    f.lateral = glm::dot(p - r.position, rightOf(r.direction));
    return f;
}

// Signed distance from `from` to `to` along the loop, in (-length/2, length/2].
float alongGap(float from, float to) {
    const float length = roadLength();
    float gap = std::fmod(to - from, length);
    if (gap > 0.5f * length) {
        gap -= length;
    } else if (gap <= -0.5f * length) {
        gap += length;
    }
    return gap;
}

// The centre line's point and direction at a distance along the loop.
RoadFrame roadAt(float along) {
    const std::vector<CentreLinePoint>& points = centreLinePoints();
    const float length = roadLength();
    along = std::fmod(along, length);
    if (along < 0.0f) {
        along += length;
    }
    auto next = std::upper_bound(
        points.begin(), points.end(), along,
        [](float value, const CentreLinePoint& p) { return value < p.distanceAlong; });
    const size_t i1 = next == points.end() ? 0 : static_cast<size_t>(next - points.begin());
    const size_t i0 = (i1 + points.size() - 1) % points.size();
    const CentreLinePoint& a = points[i0];
    const CentreLinePoint& b = points[i1];
    float span = b.distanceAlong - a.distanceAlong;
    if (span <= 0.0f) {
        span += length;
    }
    float offset = along - a.distanceAlong;
    if (offset < 0.0f) {
        offset += length;
    }
    const float t = span > 0.0f ? std::clamp(offset / span, 0.0f, 1.0f) : 0.0f;
    RoadFrame f;
    f.along = along;
    f.centre = a.position + (b.position - a.position) * t;
    const vec2 chord = b.position - a.position;
    f.tangent = glm::length(chord) > 0.0f ? glm::normalize(chord) : a.direction;
    f.halfWidth = roadHalfWidthAt(along);
    return f;
}

vec2 roadPoint(float along, float lateral) {
    const RoadFrame f = roadAt(along);
    return f.centre + rightOf(f.tangent) * lateral;
}

// The speed the car may have at each centre-line point: limited by the bend
// there and by braking in time for the bends ahead.
std::vector<float> roadSpeedPlan(const AutopilotSettings& settings) {
    const std::vector<CentreLinePoint>& points = centreLinePoints();
    const size_t n = points.size();
    std::vector<float> speeds(n, settings.cruiseSpeed);
    const size_t reach = 3;
    for (size_t i = 0; i < n; ++i) {
        const CentreLinePoint& before = points[(i + n - reach) % n];
        const CentreLinePoint& after = points[(i + reach) % n];
        const float turn =
            std::acos(std::clamp(glm::dot(before.direction, after.direction), -1.0f, 1.0f));
        float span = after.distanceAlong - before.distanceAlong;
        if (span <= 0.0f) {
            span += roadLength();
        }
        if (turn > 1e-3f) {
            const float radius = span / turn;
            speeds[i] = std::min(speeds[i], settings.cornerSpeedPerRadius * radius);
        }
    }
    // Braking ahead of the bends: walk the loop backwards twice so the
    // limits carry across its closing point.
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t k = n; k-- > 0;) {
            const size_t next = (k + 1) % n;
            float gap = points[next].distanceAlong - points[k].distanceAlong;
            if (gap <= 0.0f) {
                gap += roadLength();
            }
            const float reachable =
                std::sqrt(speeds[next] * speeds[next] + 2.0f * settings.plannedDeceleration * gap);
            speeds[k] = std::min(speeds[k], reachable);
        }
    }
    return speeds;
}

float plannedRoadSpeed(const std::vector<float>& plan, float along) {
    const std::vector<CentreLinePoint>& points = centreLinePoints();
    auto next = std::upper_bound(
        points.begin(), points.end(), along,
        [](float value, const CentreLinePoint& p) { return value < p.distanceAlong; });
    const size_t i = next == points.begin() ? 0 : static_cast<size_t>(next - points.begin()) - 1;
    return std::min(plan[i], plan[(i + 1) % plan.size()]);
}

// A chain of points to drive along, in the order of travel.
struct Path {
    std::vector<vec2> points;
};

// Where the car is relative to a path, and the point to aim at.
struct PathTracking {
    vec2 aim{0.0f};
    vec2 tangent{0.0f, -1.0f};  // the path's direction nearest the car
    float offset = 0.0f;        // the car's distance from the path
};

// The point `lookahead` metres further along the path than where the car
// is nearest to it.
PathTracking trackPath(const Path& path, vec2 car, float lookahead) {
    PathTracking result;
    const std::vector<vec2>& pts = path.points;
    if (pts.size() < 2) {
        result.aim = pts.empty() ? car : pts.front();
        return result;
    }
    size_t bestSegment = 0;
    float bestT = 0.0f;
    float best = 1e30f;
    for (size_t i = 0; i + 1 < pts.size(); ++i) {
        const vec2 ab = pts[i + 1] - pts[i];
        const float ll = glm::dot(ab, ab);
        const float t = ll > 0.0f ? std::clamp(glm::dot(car - pts[i], ab) / ll, 0.0f, 1.0f) : 0.0f;
        const float d = glm::length(car - (pts[i] + ab * t));
        if (d < best) {
            best = d;
            bestSegment = i;
            bestT = t;
        }
    }
    result.offset = best;
    const vec2 segment = pts[bestSegment + 1] - pts[bestSegment];
    if (glm::length(segment) > 0.0f) {
        result.tangent = glm::normalize(segment);
    }
    float remaining = lookahead;
    vec2 from = pts[bestSegment] + segment * bestT;
    for (size_t i = bestSegment; i + 1 < pts.size(); ++i) {
        const vec2 to = pts[i + 1];
        const float len = glm::length(to - from);
        if (len >= remaining && len > 0.0f) {
            result.aim = from + (to - from) * (remaining / len);
            return result;
        }
        remaining -= len;
        from = to;
    }
    // Past the end: carry on along the last segment's direction.
    const vec2 last = pts.back() - pts[pts.size() - 2];
    const float len = glm::length(last);
    result.aim = len > 0.0f ? pts.back() + last * (remaining / len) : pts.back();
    return result;
}

// What the controller works from, derived from this frame's poses.
struct CarState {
    vec2 position{0.0f};
    vec2 forward{0.0f, -1.0f};
    float heading = 0.0f;
    float upY = 1.0f;
    RoadFrame road;
};

CarState carStateOf(const CarView& car) {
    CarState s;
    s.position = xz(car.position);
    const vec3 f = rotateVector(car.orientation, vec3(0.0f, 0.0f, -1.0f));
    vec2 f2(f.x, f.z);
    s.forward = glm::length(f2) > 1e-4f ? glm::normalize(f2) : vec2(0.0f, -1.0f);
    s.heading = headingOfDirection(s.forward);
    s.upY = rotateVector(car.orientation, vec3(0.0f, 1.0f, 0.0f)).y;
    s.road = roadFrameAt(s.position);
    return s;
}

// Keys that hold a signed speed along the car's axis: drive or brake in
// pulses, coast inside a small band.
void holdSpeed(Controls& c, float speed, float target) {
    if (target > 0.1f) {
        if (speed < target - 0.15f) {
            c.forward = true;
        } else if (speed > target + 0.8f) {
            c.backward = true;
        }
    } else if (target < -0.1f) {
        if (speed > target + 0.15f) {
            c.backward = true;
        } else if (speed < target - 0.8f) {
            c.forward = true;
        }
    } else if (speed > 0.2f) {
        c.backward = true;
    } else if (speed < -0.2f) {
        c.forward = true;
    }
}

// Steering keys that hold a yaw rate: a push whenever the car turns slower
// than wanted (in either direction).
void steerAtRate(Controls& c, float wantedYawRate, float yawRate) {
    const float wanted = std::clamp(wantedYawRate, -1.0f, 1.0f);
    if (wanted - yawRate > 0.05f) {
        c.left = true;
    } else if (wanted - yawRate < -0.05f) {
        c.right = true;
    }
}

// Pure pursuit: the yaw rate that puts the car on a circle through the aim
// point; at a crawl it still turns briskly towards it.
void steerTowards(Controls& c, float headingError, float distance, float speed, float yawRate) {
    const float v = std::max(std::fabs(speed), 2.5f);
    steerAtRate(c, 2.0f * v * std::sin(headingError) / std::max(distance, 2.0f), yawRate);
}

float headingErrorTo(const CarState& car, vec2 point, bool reversing) {
    const vec2 to = point - car.position;
    if (glm::length(to) < 1e-3f) {
        return 0.0f;
    }
    float wanted = headingOfDirection(to);
    if (reversing) {
        wanted += PI;
    }
    return wrapAngle(wanted - car.heading);
}

// Each wheel's distance to the plateau's edge and the outward direction
// there.
struct WheelEdge {
    float margin = 100.0f;
    vec2 outward{0.0f};
};

WheelEdge wheelEdge(const vec3& wheel) {
    const RoadFrame f = roadFrameAt(xz(wheel));
    WheelEdge w;
    w.margin = f.halfWidth + PLATEAU_BEYOND_ASPHALT - std::fabs(f.lateral);
    w.outward = rightOf(f.tangent) * (f.lateral >= 0.0f ? 1.0f : -1.0f);
    return w;
}

float stoppingDistance(float speed) {
    const float v = std::fabs(speed);
    return v * v / (2.0f * 10.0f) + v * 0.08f;
}

// Whether moving `reach` metres along a direction would bring a wheel too
// close to its edge. Only a move towards the edge counts: a wheel already
// inside the margin must still be free to leave it, or a car parked there
// could move neither way.
bool bringsTooClose(const WheelEdge& w, vec2 moving, float reach) {
    const float outwards = glm::dot(moving, w.outward);
    return outwards > 0.0f && w.margin - reach * outwards < WHEEL_EDGE_MARGIN;
}

// Whether moving `reach` metres forwards (direction +1) or backwards (-1)
// would bring a wheel too close to an edge.
bool directionUnsafe(const CarView& view, const CarState& car, float direction, float reach) {
    const vec2 moving = car.forward * direction;
    for (int i = 0; i < 4; ++i) {
        if (bringsTooClose(wheelEdge(view.wheels[i]), moving, reach)) {
            return true;
        }
    }
    return false;
}

// The same for the way the car is actually moving, sideways slip included.
bool driftUnsafe(const CarView& view, vec2 velocity, float reach) {
    const float speed = glm::length(velocity);
    if (speed < 0.1f) {
        return false;
    }
    const vec2 moving = velocity / speed;
    for (int i = 0; i < 4; ++i) {
        if (bringsTooClose(wheelEdge(view.wheels[i]), moving, reach)) {
            return true;
        }
    }
    return false;
}

// The last word on every frame's keys: brake when the car would otherwise
// stop with a wheel too close to an edge, never drive towards a near edge,
// and never swing a front wheel outwards right at the edge.
void guardEdges(Controls& c, Autopilot& pilot, const CarView& view, const CarState& car) {
    pilot.edgeMargin = 100.0f;
    for (int i = 0; i < 4; ++i) {
        const WheelEdge w = wheelEdge(view.wheels[i]);
        pilot.edgeMargin = std::min(pilot.edgeMargin, w.margin);
        if (i < 2 && w.margin < WHEEL_EDGE_MARGIN + 0.3f) {
            const vec2 carLeft = -rightOf(car.forward);
            if (c.left && glm::dot(carLeft, w.outward) > 0.3f) {
                c.left = false;
            }
            if (c.right && glm::dot(-carLeft, w.outward) > 0.3f) {
                c.right = false;
            }
        }
    }
    pilot.guarded = false;
    const float v = pilot.speed;
    if (std::fabs(v) > 0.1f) {
        const float direction = v > 0.0f ? 1.0f : -1.0f;
        if (directionUnsafe(view, car, direction, stoppingDistance(v) + 0.1f) ||
            driftUnsafe(view, pilot.velocity,
                        stoppingDistance(glm::length(pilot.velocity)) + 0.1f)) {
            c.forward = v < 0.0f;
            c.backward = v > 0.0f;
            pilot.guarded = true;
            return;
        }
    }
    // Keys that would set the car moving towards a near edge.
    if (c.forward && v > -0.3f &&
        directionUnsafe(view, car, 1.0f, stoppingDistance(v + 1.0f) + 0.3f)) {
        c.forward = false;
        pilot.guarded = true;
    }
    if (c.backward && v < 0.3f &&
        directionUnsafe(view, car, -1.0f, stoppingDistance(v - 1.0f) + 0.3f)) {
        c.backward = false;
        pilot.guarded = true;
    }
}

float strikeSpeedFor(const AutopilotSettings& s, float crateLateral, float halfWidth, float angle) {
    // The crate's centre must get past the plateau's edge and its slope.
    const float lateralTravel = std::max(0.5f, halfWidth + 1.9f - crateLateral);
    const float travel = lateralTravel / std::max(0.2f, std::sin(angle));
    const float crateSpeed = std::sqrt(2.0f * CRATE_SLIDE_DECELERATION * travel);
    return std::clamp(crateSpeed / STRIKE_TRANSFER, s.minStrikeSpeed, s.maxStrikeSpeed);
}

bool stagingFits(vec2 staging) {
    const RoadFrame f = roadFrameAt(staging);
    return std::fabs(f.lateral) <= f.halfWidth - 2.5f;
}

// The least distance to an edge that the car's wheels would have on their
// way along a strike line, up to just past the crate (the run after the
// hit).
float runUpMargin(vec2 origin, vec2 direction, float runUp) {
    const vec2 across = rightOf(direction);
    float least = 100.0f;
    for (float t = -runUp - 1.0f; t <= -0.4f; t += 0.5f) {
        for (float side : {-0.6f, 0.6f}) {
            const vec2 p = origin + direction * t + across * side;
            const RoadFrame f = roadFrameAt(p);
            least = std::min(least, f.halfWidth + PLATEAU_BEYOND_ASPHALT - std::fabs(f.lateral));
        }
    }
    return least;
}

// A strike line for one edge: the preferred angle when it fits, else the
// nearest angle, inset and run-up that keep the wheels clear of the edges.
// Returns the wheels' least margin along the chosen line.
float fitStrikeLine(StrikePlan& plan, const AutopilotSettings& s, vec2 cratePos, const RoadFrame& f,
                    int side) {
    const vec2 outward = rightOf(f.tangent) * static_cast<float>(side);
    const float lateral = f.lateral * static_cast<float>(side);  // towards the chosen edge
    plan.side = side;
    plan.crateLateral = lateral;
    plan.halfWidth = f.halfWidth;
    // Close to the edge a flatter line keeps the car further in.
    const float nearEdge =
        std::clamp((lateral - 2.5f) / std::max(0.5f, f.halfWidth - 3.0f), 0.0f, 1.0f);
    const float preferred = s.strikeAngleDegrees * (1.0f - 0.5f * nearEdge);
    constexpr float REQUIRED_MARGIN = 0.9f;

    float bestMargin = -100.0f;
    StrikePlan best = plan;
    for (float inset : {0.0f, 0.45f, 0.8f}) {
        for (int k = 0; k < 15; ++k) {
            // preferred, +4, -4, +8, -8, ... degrees
            const float step = static_cast<float>((k + 1) / 2) * 4.0f;
            const float degrees = preferred + (k % 2 == 1 ? step : -step);
            if (degrees < 8.0f || degrees > 65.0f) {
                continue;
            }
            const float angle = degrees * DEG;
            const vec2 direction = f.tangent * std::cos(angle) + outward * std::sin(angle);
            vec2 across = outward - direction * glm::dot(outward, direction);
            across = glm::length(across) > 1e-4f ? glm::normalize(across) : vec2(0.0f);
            const vec2 origin = cratePos - across * inset;
            for (float runUp = s.strikeRunUp; runUp >= 5.0f; runUp -= 1.0f) {
                const vec2 staging = origin - direction * runUp;
                if (!stagingFits(staging)) {
                    continue;
                }
                const float margin = runUpMargin(origin, direction, runUp);
                if (margin > bestMargin) {
                    bestMargin = margin;
                    best.direction = direction;
                    best.offset = origin - cratePos;
                    best.runUp = runUp;
                    best.staging = staging;
                    best.strikeSpeed = strikeSpeedFor(s, lateral, f.halfWidth, angle);
                }
                if (margin >= REQUIRED_MARGIN) {
                    plan = best;
                    return margin;
                }
            }
        }
    }
    plan = best;
    return bestMargin;
}

// Chooses the edge, the strike line and its run-up for a crate.
StrikePlan planStrike(const AutopilotSettings& s, int crate, vec2 cratePos, const CarState& car,
                      int previousSide) {
    StrikePlan plan;
    plan.crate = crate;
    const RoadFrame f = roadFrameAt(cratePos);
    int side;
    if (std::fabs(f.lateral) > 0.8f) {
        side = f.lateral > 0.0f ? 1 : -1;
    } else if (previousSide != 0) {
        side = previousSide;
    } else {
        // Near the middle: push it away from the side the car is on.
        side = car.road.lateral > 0.0f ? -1 : 1;
    }
    const float margin = fitStrikeLine(plan, s, cratePos, f, side);
    if (margin < 0.6f) {
        // No safe line to that edge: try the far one.
        StrikePlan other = plan;
        if (fitStrikeLine(other, s, cratePos, f, -side) > margin) {
            plan = other;
        }
    }
    return plan;
}

// Where the strike line passes: through the crate, or just inside it when
// the nose's outer part is to strike.
vec2 strikeOrigin(const StrikePlan& plan, const WorldView& view) {
    return xz(view.crates[plan.crate]) + plan.offset;
}

// The first crate still on the road, in driving order from a little behind
// the car.
int chooseTarget(const WorldView& view, const CarState& car) {
    int best = -1;
    float bestGap = 1e30f;
    for (size_t i = 0; i < view.crates.size(); ++i) {
        if (!crateOnRoad(view.crates[i])) {
            continue;
        }
        const RoadFrame f = roadFrameAt(xz(view.crates[i]));
        float gap = alongGap(car.road.along, f.along);
        if (gap < -25.0f) {
            gap += roadLength();
        }
        if (gap < bestGap) {
            bestGap = gap;
            best = static_cast<int>(i);
        }
    }
    return best;
}

// Position of the car along the strike line, measured from the crate
// (negative behind it), and its distance off that line.
float alongStrikeLine(const StrikePlan& plan, vec2 cratePos, vec2 p) {
    return glm::dot(p - cratePos, plan.direction);
}

float offStrikeLine(const StrikePlan& plan, vec2 cratePos, vec2 p) {
    return std::fabs(glm::dot(p - cratePos, rightOf(plan.direction)));
}

// The way to the staging point: along the road, easing across to the
// staging point's side, then the strike line through the crate.
Path approachPath(const StrikePlan& plan, vec2 cratePos, const CarState& car) {
    Path path;
    path.points.push_back(car.position);
    const vec2 staging = cratePos - plan.direction * plan.runUp;
    const RoadFrame stagingFrame = roadFrameAt(staging);
    const float gap = alongGap(car.road.along, stagingFrame.along);
    if (gap > 12.0f) {
        // Ease across to the staging point's side over the last stretch.
        const float blendEnd = stagingFrame.along - 8.0f;
        const float blendLength = 40.0f;
        for (float s = 6.0f; s < gap - 7.0f; s += 3.0f) {
            const float along = car.road.along + s;
            const float blend = smoothStep01(1.0f + alongGap(blendEnd, along) / blendLength);
            path.points.push_back(roadPoint(along, stagingFrame.lateral * blend));
        }
    }
    if (alongStrikeLine(plan, cratePos, car.position) < -plan.runUp + 1.0f) {
        path.points.push_back(staging);
    }
    path.points.push_back(cratePos);
    path.points.push_back(cratePos + plan.direction * 4.0f);
    return path;
}

void enterMode(Autopilot& pilot, DriveMode mode) {
    pilot.mode = mode;
    pilot.modeSteps = 0;
}

// Whether the car stands far enough behind the crate, close enough to the
// strike line, for a run-up.
bool readyForRunUp(const StrikePlan& plan, vec2 cratePos, const CarState& car) {
    if (glm::length(cratePos - car.position) > plan.runUp + 6.0f) {
        return true;  // far off: the approach lines the car up
    }
    const float t = alongStrikeLine(plan, cratePos, car.position);
    if (t < -plan.runUp + 1.0f) {
        return true;  // further back than the staging point: approach normally
    }
    return t < -3.6f && offStrikeLine(plan, cratePos, car.position) < 0.8f &&
           std::fabs(wrapAngle(headingOfDirection(plan.direction) - car.heading)) < 20.0f * DEG;
}

void replan(Autopilot& pilot, const WorldView& view, const CarState& car) {
    const int previous = pilot.plan.crate;
    const int target = chooseTarget(view, car);
    if (target < 0) {
        pilot.plan = StrikePlan();
        return;
    }
    const int side = target == previous ? pilot.plan.side : 0;
    pilot.plan = planStrike(pilot.settings, target, xz(view.crates[target]), car, side);
}

// The speed the car may have while it is off its path or turned away from
// it: slow enough to turn back before it drifts far.
float alignedSpeedLimit(const CarState& car, const PathTracking& track) {
    const float angle = std::fabs(wrapAngle(headingOfDirection(track.tangent) - car.heading));
    return std::max(3.0f, 14.0f - 25.0f * angle - 1.5f * track.offset);
}

Controls approach(Autopilot& pilot, const WorldView& view, const CarState& car) {
    Controls c;
    const StrikePlan& plan = pilot.plan;
    const AutopilotSettings& s = pilot.settings;
    if (plan.crate < 0) {
        // Nothing left to push: follow the road slowly.
        const vec2 look = roadPoint(car.road.along + 6.0f, 0.0f);
        steerTowards(c, headingErrorTo(car, look, false), glm::length(look - car.position),
                     pilot.speed, pilot.yawRate);
        holdSpeed(c, pilot.speed, 4.0f);
        return c;
    }
    const vec2 cratePos = strikeOrigin(plan, view);
    const float t = alongStrikeLine(plan, cratePos, car.position);
    const float off = offStrikeLine(plan, cratePos, car.position);
    const float lineHeading = headingOfDirection(plan.direction);
    float target;
    vec2 look;
    if (t > -plan.runUp - 1.5f && t < 0.5f && off < 2.0f) {
        // On the strike line short of the crate: hold it with a short look
        // ahead (through the crate), and only speed up once lined up. Past
        // the crate the line leads away from it.
        look = cratePos + plan.direction * (t + std::max(3.0f, 0.6f * std::fabs(pilot.speed)));
        const float misalign = std::fabs(wrapAngle(lineHeading - car.heading));
        target = misalign < 8.0f * DEG && off < 0.6f ? plan.strikeSpeed : s.approachSpeed;
    } else {
        const Path path = approachPath(plan, cratePos, car);
        const float lookahead = std::clamp(2.5f + 0.5f * std::fabs(pilot.speed), 3.5f, 9.0f);
        const PathTracking track = trackPath(path, car.position, lookahead);
        look = track.aim;
        const vec2 staging = cratePos - plan.direction * plan.runUp;
        const float toStaging = glm::length(staging - car.position);
        target = plannedRoadSpeed(pilot.roadSpeeds, car.road.along);
        target = std::min(target, std::sqrt(s.approachSpeed * s.approachSpeed +
                                            2.0f * s.plannedDeceleration * toStaging));
        target = std::min(target, alignedSpeedLimit(car, track));
    }
    const float error = headingErrorTo(car, look, false);
    // Turn before speeding off in the wrong direction.
    const float absError = std::fabs(error);
    if (absError > 70.0f * DEG) {
        target = -1.2f;  // back up while turning: a three-point turn
    } else if (absError > 25.0f * DEG) {
        target = std::min(target, 2.5f);
    }
    steerTowards(c, error, glm::length(look - car.position), pilot.speed, pilot.yawRate);
    holdSpeed(c, pilot.speed, target);
    pilot.aimPoint = look;
    pilot.wantedSpeed = target;
    return c;
}

Controls backup(Autopilot& pilot, const WorldView& view, const CarState& car) {
    Controls c;
    const StrikePlan& plan = pilot.plan;
    const vec2 cratePos = strikeOrigin(plan, view);
    const float t = alongStrikeLine(plan, cratePos, car.position);
    // Reverse along the strike line: aim the tail at a point on it behind.
    const vec2 look = cratePos + plan.direction * (t - 4.0f);
    const float error = headingErrorTo(car, look, true);
    steerTowards(c, error, glm::length(look - car.position), pilot.speed, pilot.yawRate);
    pilot.aimPoint = look;
    pilot.wantedSpeed = std::fabs(error) > 50.0f * DEG ? -1.0f : -3.0f;
    holdSpeed(c, pilot.speed, pilot.wantedSpeed);
    return c;
}

// Speeds and the yaw rate from the change of pose over the game time since
// the last view. A frame that took no step shows no motion because no game
// time passed: the last motion seen stands.
void observeMotion(Autopilot& pilot, const WorldView& view, const CarState& car, int steps) {
    if (pilot.havePrevious && steps > 0) {
        const float dt = static_cast<float>(steps) * PHYSICS_STEP;
        const vec2 moved = car.position - xz(pilot.previousPosition);
        pilot.speed = glm::dot(moved, car.forward) / dt;
        pilot.velocity = moved / dt;
        pilot.yawRate = wrapAngle(car.heading - pilot.previousHeading) / dt;
        pilot.crateSpeeds.assign(view.crates.size(), 0.0f);
        if (pilot.previousCrates.size() == view.crates.size()) {
            for (size_t i = 0; i < view.crates.size(); ++i) {
                pilot.crateSpeeds[i] =
                    glm::length(xz(view.crates[i]) - xz(pilot.previousCrates[i])) / dt;
            }
        }
    }
    // Space may turn the car between steps: the next step's motion starts
    // from the pose seen now.
    pilot.havePrevious = true;
    pilot.previousPosition = view.car.position;
    pilot.previousHeading = car.heading;
    pilot.previousCrates = view.crates;
}

// A number drawn uniform in [0, 1) from the generator's raw output, the same
// on every standard library.
double uniform01(std::mt19937& random) {
    return static_cast<double>(random() >> 5) / 134217728.0;
}

}  // namespace

double gameSeconds(long steps) {
    return static_cast<double>(steps) * static_cast<double>(PHYSICS_STEP);
}

FrameClock fixedFrameClock(double frameTime) {
    FrameClock clock;
    clock.fixedFrameTime = frameTime;
    return clock;
}

FrameClock jitterFrameClock(unsigned seed) {
    FrameClock clock;
    clock.jitter = true;
    clock.random.seed(seed);
    return clock;
}

double nextFrameTime(FrameClock& clock) {
    if (!clock.jitter) {
        return clock.fixedFrameTime;
    }
    if (uniform01(clock.random) < 0.01) {
        return LONGEST_FRAME_TIME;
    }
    if (clock.stretchLeft <= 0.0) {
        const double lo = std::log(SHORTEST_FRAME_TIME);
        const double hi = std::log(LONGEST_FRAME_TIME);
        clock.stretchFrameTime = std::exp(lo + (hi - lo) * uniform01(clock.random));
        clock.stretchLeft = 0.5 + 2.5 * uniform01(clock.random);
    }
    const double frameTime =
        std::clamp(clock.stretchFrameTime * (0.85 + 0.3 * uniform01(clock.random)),
                   SHORTEST_FRAME_TIME, LONGEST_FRAME_TIME);
    clock.stretchLeft -= frameTime;
    return frameTime;
}

void startPlay(FrameClock& clock) {
    clock.now = 0.0;
    lastFrame = 0.0f;
    physicsAccumulator = 0.0;
}

AutopilotSettings settingsForSeed(unsigned seed) {
    AutopilotSettings s;
    if (seed == 0) {
        return s;
    }
    // A small deterministic generator: each seed gives its own variation.
    unsigned state = seed * 2654435761u + 12345u;
    auto next = [&state]() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>((state >> 8) & 0xffff) / 65535.0f;
    };
    s.startDelaySteps = 40 + static_cast<int>(next() * 60.0f);
    s.cruiseSpeed *= 0.92f + 0.16f * next();
    s.strikeAngleDegrees += -4.0f + 8.0f * next();
    s.strikeRunUp += -1.0f + 2.0f * next();
    s.approachSpeed *= 0.9f + 0.2f * next();
    s.startTurnSteps = static_cast<int>(next() * 45.0f);
    s.startTurnLeft = next() < 0.5f;
    return s;
}

const char* driveModeName(DriveMode mode) {
    switch (mode) {
        case DriveMode::Settle:
            return "settle";
        case DriveMode::Approach:
            return "approach";
        case DriveMode::Brake:
            return "brake";
        case DriveMode::Backup:
            return "backup";
        case DriveMode::Unstick:
            return "unstick";
        case DriveMode::Upright:
            return "upright";
    }
    return "?";
}

WorldView observeWorld(const World& w) {
    WorldView view;
    if (w.car && w.car->chassis) {
        const Pose pose = w.car->chassis->getGlobalPose();
        view.car.position = pose.p;
        view.car.orientation = pose.q;
        const RigidDynamic* wheels[4] = {w.car->frontLeftWheel, w.car->frontRightWheel,
                                         w.car->rearLeftWheel, w.car->rearRightWheel};
        for (int i = 0; i < 4; ++i) {
            view.car.wheels[i] = wheels[i] ? wheels[i]->getGlobalPose().p
                                           : pose.p + rotateVector(pose.q, WHEEL_ANCHORS[i]);
        }
    }
    for (const auto& crate : w.crates) {
        view.crates.push_back(crate->actor ? crate->actor->getGlobalPose().p
                                           : vec3(0.0f, -100.0f, 0.0f));
    }
    return view;
}

float headingOf(const Quat& orientation) {
    const vec3 f = rotateVector(orientation, vec3(0.0f, 0.0f, -1.0f));
    return headingOfDirection(vec2(f.x, f.z));
}

bool crateOnRoad(const vec3& crate) {
    return crate.y > CRATE_GONE_HEIGHT;
}

void restartAutopilot(Autopilot& pilot) {
    pilot.plan = StrikePlan();
    pilot.previousCrates.clear();
    pilot.crateSpeeds.clear();
    pilot.havePrevious = false;
    pilot.speed = 0.0f;
    pilot.velocity = glm::vec2(0.0f);
    pilot.yawRate = 0.0f;
    pilot.slowSteps = 0;
    pilot.tiltedSteps = 0;
    enterMode(pilot, DriveMode::Settle);
}

Controls decideControls(Autopilot& pilot, const WorldView& view, int steps) {
    if (pilot.roadSpeeds.empty()) {
        pilot.roadSpeeds = roadSpeedPlan(pilot.settings);
    }
    const CarState car = carStateOf(view.car);
    if (pilot.havePrevious &&
        glm::length(view.car.position - pilot.previousPosition) > REBUILD_JUMP) {
        restartAutopilot(pilot);
    }
    pilot.modeSteps += steps;
    observeMotion(pilot, view, car, steps);
    // The target crate's speed on the ground: it moves only when something
    // hits it. Asked after any change of target.
    auto targetCrateSpeed = [&pilot]() {
        const int i = pilot.plan.crate;
        return i >= 0 && i < static_cast<int>(pilot.crateSpeeds.size()) ? pilot.crateSpeeds[i]
                                                                        : 0.0f;
    };

    Controls c;
    const bool targetGone =
        pilot.plan.crate >= 0 && (pilot.plan.crate >= static_cast<int>(view.crates.size()) ||
                                  !crateOnRoad(view.crates[pilot.plan.crate]));

    // On its side or roof: Space sets the chassis upright where it stands.
    pilot.tiltedSteps = car.upY < 0.5f ? pilot.tiltedSteps + steps : 0;
    if (pilot.tiltedSteps > 30 && pilot.mode != DriveMode::Upright) {
        enterMode(pilot, DriveMode::Upright);
        c.upright = true;
        return c;
    }

    switch (pilot.mode) {
        case DriveMode::Settle: {
            const int turnEnd = pilot.settings.startDelaySteps + pilot.settings.startTurnSteps;
            if (pilot.modeSteps >= turnEnd) {
                replan(pilot, view, car);
                enterMode(pilot, DriveMode::Approach);
            } else if (pilot.modeSteps >= pilot.settings.startDelaySteps) {
                c.left = pilot.settings.startTurnLeft;
                c.right = !pilot.settings.startTurnLeft;
            }
            return c;
        }
        case DriveMode::Upright:
            if (pilot.modeSteps >= 45) {
                replan(pilot, view, car);
                enterMode(pilot, DriveMode::Approach);
            }
            return c;
        case DriveMode::Unstick:
            holdSpeed(c, pilot.speed, -2.0f);
            // Then stop and look again: driving on from here would take the
            // line that got stuck.
            if (pilot.modeSteps >= 50) {
                enterMode(pilot, DriveMode::Brake);
            }
            break;
        case DriveMode::Brake: {
            holdSpeed(c, pilot.speed, 0.0f);
            // Keep the nose turning back along the road while stopping.
            const float along = headingOfDirection(car.road.tangent);
            steerAtRate(c, wrapAngle(along - car.heading), pilot.yawRate);
            const bool settled = std::fabs(pilot.speed) < 0.3f && targetCrateSpeed() < 0.2f;
            if ((settled && pilot.modeSteps > 4) || pilot.modeSteps > 150) {
                replan(pilot, view, car);
                if (pilot.plan.crate >= 0 &&
                    !readyForRunUp(pilot.plan, strikeOrigin(pilot.plan, view), car)) {
                    enterMode(pilot, DriveMode::Backup);
                } else {
                    enterMode(pilot, DriveMode::Approach);
                }
            }
            break;
        }
        case DriveMode::Backup: {
            if (targetGone || pilot.plan.crate < 0) {
                replan(pilot, view, car);
                enterMode(pilot, DriveMode::Approach);
                break;
            }
            const vec2 cratePos = strikeOrigin(pilot.plan, view);
            c = backup(pilot, view, car);
            if (alongStrikeLine(pilot.plan, cratePos, car.position) < -pilot.plan.runUp + 0.5f ||
                pilot.modeSteps > 300) {
                enterMode(pilot, DriveMode::Brake);
            }
            break;
        }
        case DriveMode::Approach: {
            if (targetGone || pilot.plan.crate < 0) {
                replan(pilot, view, car);
            }
            c = approach(pilot, view, car);
            // Struck (or knocked by anything): stop and look again.
            if (targetCrateSpeed() > 0.5f) {
                enterMode(pilot, DriveMode::Brake);
            }
            // Held a drive key for a while without moving: something is in
            // the way.
            const bool driving = c.forward || c.backward;
            pilot.slowSteps =
                driving && std::fabs(pilot.speed) < 0.3f ? pilot.slowSteps + steps : 0;
            if (pilot.slowSteps > 90) {
                pilot.slowSteps = 0;
                enterMode(pilot, DriveMode::Unstick);
            }
            break;
        }
    }
    guardEdges(c, pilot, view.car, car);
    return c;
}

void pressControls(const Controls& controls) {
    keys[GLFW_KEY_UP] = controls.forward;
    keys[GLFW_KEY_DOWN] = controls.backward;
    keys[GLFW_KEY_LEFT] = controls.left;
    keys[GLFW_KEY_RIGHT] = controls.right;
    keys[GLFW_KEY_SPACE] = controls.upright;
    applyHeldKeys();
    // Released again: this frame's keys have been acted on.
    keys[GLFW_KEY_UP] = keys[GLFW_KEY_DOWN] = false;
    keys[GLFW_KEY_LEFT] = keys[GLFW_KEY_RIGHT] = false;
    keys[GLFW_KEY_SPACE] = false;
}

void deliverControls(const Controls& controls, RecordingWriter* recording) {
    const std::pair<int, bool> wanted[] = {{GLFW_KEY_UP, controls.forward},
                                           {GLFW_KEY_DOWN, controls.backward},
                                           {GLFW_KEY_LEFT, controls.left},
                                           {GLFW_KEY_RIGHT, controls.right},
                                           {GLFW_KEY_SPACE, controls.upright}};
    for (const auto& [key, down] : wanted) {
        // Against the game's own table: whatever else changed it is undone.
        if (keys[key] == down) {
            continue;
        }
        const InputEvent event = InputEvent::keyEvent(key, 0, down ? GLFW_PRESS : GLFW_RELEASE, 0);
        if (recording) {
            recording->add(event);
        }
        deliverEvent(nullptr, event);
    }
}

FrameEvents playFrame(Autopilot& pilot, PlayRecord& record, FrameClock& clock,
                      RecordingWriter* recording) {
    FrameEvents events;
    if (!world) {
        return events;
    }
    // The game's own frame, undrawn: drawing every frame would be far too
    // slow for a run of tens of thousands of frames. The view the controller
    // sees is the one the last frame left, and its keys come in where
    // glfwPollEvents brings the player's, so that a recording replays it.
    clock.now += nextFrameTime(clock);
    const float now = static_cast<float>(clock.now);
    const int levelBefore = world->level;
    WorldView view;
    FrameSource source;
    source.draw = false;
    source.pollEvents = [&] {
        view = observeWorld(*world);
        deliverControls(decideControls(pilot, view, record.lastFrameSteps), recording);
    };
    record.lastFrameSteps = runFrame(nullptr, FramePrograms(), now, nullptr, &source) ? 1 : 0;
    if (recording) {
        recording->endFrame(now);
    }
    record.steps += record.lastFrameSteps;
    ++record.frames;

    if (world->level != levelBefore) {
        events.levelCleared = true;
    } else if (glm::length(chassisPosition() - view.car.position) > REBUILD_JUMP) {
        events.levelRebuilt = true;
        ++record.falls;
        std::fill(record.fallen.begin(), record.fallen.end(), false);
        return events;
    }
    const size_t count = events.levelCleared ? view.crates.size() : world->crates.size();
    record.fallen.resize(count, false);
    for (size_t i = 0; i < count; ++i) {
        // The clearing frame built the next level: the last crate fell then.
        const bool down = events.levelCleared ||
                          world->crates[i]->actor->getGlobalPose().p.y <= CRATE_FALLEN_HEIGHT;
        if (down && !record.fallen[i]) {
            record.fallen[i] = true;
            events.cratesFallen.push_back(static_cast<int>(i));
            record.clearedOrder.push_back(static_cast<int>(i));
            record.clearedTimes.push_back(static_cast<float>(gameSeconds(record.steps)));
        }
    }
    return events;
}
