// The road's one closed centre line, in world x/z. The heightmap's plateau
// and the road model are both made from it, so the collision ground and the
// drawn road cannot disagree; the autopilot follows it too.
#pragma once

#include <glm/vec2.hpp>
#include <glm/vec3.hpp>
#include <vector>

// Where the level puts things: the car's start (facing -Z), the figure's
// collision block at rest, and the 18 crates in creation order.
constexpr glm::vec2 CAR_START_XZ{2.0f, 0.0f};
constexpr glm::vec2 FIGURE_BLOCK_XZ{2.6f, -13.1f};
constexpr int ROUTE_CRATE_COUNT = 18;
constexpr glm::vec3 ROUTE_CRATES[ROUTE_CRATE_COUNT] = {
    {16.5f, 1.0f, -20.6f},    {18.5f, 1.0f, -73.8f},    {13.8f, 1.0f, -111.5f},
    {-30.9f, 1.0f, -138.7f},  {-31.1f, 1.0f, -51.0f},   {-87.3f, 1.0f, -150.0f},
    {-164.2f, 1.0f, -151.2f}, {-200.7f, 1.0f, -141.1f}, {-239.2f, 1.0f, -116.1f},
    {-254.7f, 1.0f, -64.5f},  {-249.3f, 1.0f, -27.9f},  {-260.4f, 1.0f, 37.1f},
    {-275.8f, 1.0f, 82.1f},   {-232.8f, 1.0f, 128.1f},  {-189.6f, 1.0f, 144.5f},
    {-146.3f, 1.0f, 159.4f},  {-60.5f, 1.0f, 148.8f},   {-21.4f, 1.0f, 129.1f}};

// Half the asphalt's width on most of the loop, and in the wide start area
// (the start, the figure and the first crate sit side by side there).
constexpr float ROAD_HALF_WIDTH = 6.0f;
constexpr float START_AREA_HALF_WIDTH = 11.5f;
// A painted kerb strip beyond the asphalt, then the drop.
constexpr float KERB_WIDTH = 0.6f;
// The tightest bend the car has to take.
constexpr float MIN_TURN_RADIUS = 12.0f;

struct CentreLinePoint {
    glm::vec2 position;   // world x, z
    glm::vec2 direction;  // unit tangent, in driving order
    float distanceAlong;  // arc length from the first point
    float halfWidth;      // of the asphalt here
};

// The closed centre line in driving order, starting beside the car's start
// and heading -Z; the last point joins back to the first. Made once.
const std::vector<CentreLinePoint>& centreLinePoints();
// The same points as plain world x/z positions.
std::vector<glm::vec2> roadCentreLine();
// Length of the whole loop.
float roadLength();
// Half width of the asphalt at a distance along the loop (any value; wraps).
float roadHalfWidthAt(float distanceAlong);

struct RoadProjection {
    float distance = 0.0f;       // from the centre line
    float halfWidth = 0.0f;      // of the asphalt at the nearest point
    float distanceAlong = 0.0f;  // of the nearest point
    glm::vec2 position{0.0f};    // the nearest point
    glm::vec2 direction{0.0f};   // the tangent there
};

RoadProjection projectOntoRoad(float x, float z);
float distanceToCentreLine(float x, float z);
// Whether (x, z) lies on the asphalt.
bool onRoad(float x, float z);
