#include "tools/assetgen/route.h"

#include <algorithm>
#include <cmath>
#include <glm/geometric.hpp>
#include <limits>

#include "tools/assetgen/noise.h"

namespace {

// The loop as a polygon whose corners are rounded off with circular arcs:
// straights and arcs of a known radius keep every bend drivable.
struct Corner {
    glm::vec2 point;
    float radius;
};

const Corner CORNERS[] = {
    {{9.5f, 115.0f}, 30.0f},      // into the start straight
    {{9.5f, -35.0f}, 40.0f},      // a gentle S out of the start area
    {{16.0f, -55.0f}, 40.0f},     //
    {{16.0f, -147.0f}, 14.0f},    // west
    {{-30.0f, -147.0f}, 13.0f},   // down into the hairpin
    {{-30.0f, -33.0f}, 14.0f},    // the hairpin
    {{-58.0f, -33.0f}, 14.0f},    //
    {{-58.0f, -152.5f}, 14.0f},   // west again
    {{-185.0f, -152.5f}, 60.0f},  //
    {{-252.0f, -110.0f}, 40.0f},  // south
    {{-252.0f, 0.0f}, 60.0f},     //
    {{-281.0f, 112.0f}, 25.0f},   // east
    {{-140.0f, 163.6f}, 60.0f},   //
    {{-60.0f, 151.0f}, 40.0f},    //
};
constexpr int CORNER_COUNT = sizeof(CORNERS) / sizeof(CORNERS[0]);

// Longest step between samples, measured at the road's outer edge.
constexpr float SAMPLE_STEP = 2.0f;
constexpr float MAX_ARC_STEP_RADIANS = 0.09f;

// Where the wide start area is centred, and how it fades into the road.
constexpr glm::vec2 START_AREA_CENTRE{9.5f, -10.0f};
constexpr float START_AREA_FULL = 28.0f;
constexpr float START_AREA_TAPER = 25.0f;

glm::vec2 perpendicular(glm::vec2 v) {
    return glm::vec2(-v.y, v.x);
}

glm::vec2 rotated(glm::vec2 v, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    return glm::vec2(c * v.x - s * v.y, s * v.x + c * v.y);
}

// The polygon turned into positions: for each corner its arc, then the
// straight to the next corner's arc.
std::vector<glm::vec2> tracePositions() {
    std::vector<glm::vec2> points;
    for (int i = 0; i < CORNER_COUNT; ++i) {
        const Corner& previous = CORNERS[(i + CORNER_COUNT - 1) % CORNER_COUNT];
        const Corner& corner = CORNERS[i];
        const Corner& next = CORNERS[(i + 1) % CORNER_COUNT];
        const Corner& afterNext = CORNERS[(i + 2) % CORNER_COUNT];

        const glm::vec2 in = glm::normalize(corner.point - previous.point);
        const glm::vec2 out = glm::normalize(next.point - corner.point);
        const float turn = std::acos(std::fmin(1.0f, glm::dot(in, out)));
        const float tangent = corner.radius * std::tan(turn * 0.5f);
        const glm::vec2 arcStart = corner.point - in * tangent;
        glm::vec2 inward = perpendicular(in);
        if (glm::dot(inward, out) < 0.0f) {
            inward = -inward;
        }
        const glm::vec2 centre = arcStart + inward * corner.radius;
        const float sign = (in.x * out.y - in.y * out.x) >= 0.0f ? 1.0f : -1.0f;
        const float outerRadius = corner.radius + START_AREA_HALF_WIDTH + KERB_WIDTH;
        const int arcSteps =
            std::max(1, static_cast<int>(std::ceil(std::max(turn * outerRadius / SAMPLE_STEP,
                                                            turn / MAX_ARC_STEP_RADIANS))));
        for (int k = 0; k < arcSteps; ++k) {
            const float angle = sign * turn * static_cast<float>(k) / arcSteps;
            points.push_back(centre + rotated(arcStart - centre, angle));
        }

        // The straight from this arc's end to the next arc's start.
        const glm::vec2 arcEnd = corner.point + out * tangent;
        const glm::vec2 nextOut = glm::normalize(afterNext.point - next.point);
        const float nextTurn = std::acos(std::fmin(1.0f, glm::dot(out, nextOut)));
        const glm::vec2 nextArcStart = next.point - out * (next.radius * std::tan(nextTurn * 0.5f));
        const float length = glm::length(nextArcStart - arcEnd);
        const int steps = std::max(1, static_cast<int>(std::ceil(length / SAMPLE_STEP)));
        for (int k = 0; k < steps; ++k) {
            points.push_back(arcEnd + (nextArcStart - arcEnd) * (static_cast<float>(k) / steps));
        }
    }
    return points;
}

struct RouteData {
    std::vector<CentreLinePoint> points;
    float length = 0.0f;
    float startAreaAlong = 0.0f;
};

float halfWidthFor(const RouteData& route, float distanceAlong) {
    float offset = std::fmod(std::fabs(distanceAlong - route.startAreaAlong), route.length);
    offset = std::fmin(offset, route.length - offset);
    const float blend = smoothStep(START_AREA_FULL, START_AREA_FULL + START_AREA_TAPER, offset);
    return START_AREA_HALF_WIDTH + (ROAD_HALF_WIDTH - START_AREA_HALF_WIDTH) * blend;
}

RouteData buildRoute() {
    const std::vector<glm::vec2> traced = tracePositions();
    const size_t n = traced.size();
    // Start the list at the point beside the car's start.
    size_t first = 0;
    float best = std::numeric_limits<float>::max();
    for (size_t i = 0; i < n; ++i) {
        const float d = glm::length(traced[i] - CAR_START_XZ);
        if (d < best) {
            best = d;
            first = i;
        }
    }
    RouteData route;
    route.points.resize(n);
    float along = 0.0f;
    for (size_t k = 0; k < n; ++k) {
        const glm::vec2 p = traced[(first + k) % n];
        if (k > 0) {
            along += glm::length(p - route.points[k - 1].position);
        }
        route.points[k].position = p;
        route.points[k].distanceAlong = along;
    }
    route.length =
        along + glm::length(route.points.front().position - route.points.back().position);

    best = std::numeric_limits<float>::max();
    for (size_t k = 0; k < n; ++k) {
        CentreLinePoint& point = route.points[k];
        point.direction = glm::normalize(route.points[(k + 1) % n].position -
                                         route.points[(k + n - 1) % n].position);
        const float d = glm::length(point.position - START_AREA_CENTRE);
        if (d < best) {
            best = d;
            route.startAreaAlong = point.distanceAlong;
        }
    }
    for (CentreLinePoint& point : route.points) {
        point.halfWidth = halfWidthFor(route, point.distanceAlong);
    }
    return route;
}

const RouteData& routeData() {
    static const RouteData route = buildRoute();
    return route;
}

}  // namespace

const std::vector<CentreLinePoint>& centreLinePoints() {
    return routeData().points;
}

std::vector<glm::vec2> roadCentreLine() {
    std::vector<glm::vec2> positions;
    for (const CentreLinePoint& p : centreLinePoints()) {
        positions.push_back(p.position);
    }
    return positions;
}

float roadLength() {
    return routeData().length;
}

float roadHalfWidthAt(float distanceAlong) {
    return halfWidthFor(routeData(), distanceAlong);
}

RoadProjection projectOntoRoad(float x, float z) {
    const RouteData& route = routeData();
    const glm::vec2 p(x, z);
    const size_t n = route.points.size();
    RoadProjection nearest;
    float best = std::numeric_limits<float>::max();
    for (size_t i = 0; i < n; ++i) {
        const CentreLinePoint& a = route.points[i];
        const CentreLinePoint& b = route.points[(i + 1) % n];
        const glm::vec2 ab = b.position - a.position;
        const float lengthSquared = glm::dot(ab, ab);
        const float t = lengthSquared > 0.0f
                            ? std::clamp(glm::dot(p - a.position, ab) / lengthSquared, 0.0f, 1.0f)
                            : 0.0f;
        const glm::vec2 q = a.position + ab * t;
        const float d = glm::length(p - q);
        if (d < best) {
            best = d;
            nearest.distance = d;
            nearest.position = q;
            nearest.direction = glm::normalize(ab);
            nearest.distanceAlong = a.distanceAlong + t * std::sqrt(lengthSquared);
        }
    }
    nearest.halfWidth = halfWidthFor(route, nearest.distanceAlong);
    return nearest;
}

float distanceToCentreLine(float x, float z) {
    return projectOntoRoad(x, z).distance;
}

bool onRoad(float x, float z) {
    const RoadProjection nearest = projectOntoRoad(x, z);
    return nearest.distance <= nearest.halfWidth;
}
