#include "world/body_hashes.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "world/world.h"

namespace {

// FNV-1a over the raw bits: equal only when every bit is equal.
constexpr uint64_t FNV_OFFSET = 14695981039346656037ull;
constexpr uint64_t FNV_PRIME = 1099511628211ull;

void mix(uint64_t& hash, const void* data, size_t size) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        hash = (hash ^ bytes[i]) * FNV_PRIME;
    }
}

void mixFloats(uint64_t& hash, std::initializer_list<float> values) {
    for (float value : values) {
        mix(hash, &value, sizeof(value));
    }
}

uint64_t bodyHash(const RigidDynamic& body) {
    uint64_t hash = FNV_OFFSET;
    const Pose pose = body.getGlobalPose();
    const vec3 linear = body.getLinearVelocity();
    const vec3 angular = body.getAngularVelocity();
    mixFloats(hash, {pose.p.x, pose.p.y, pose.p.z, pose.q.x, pose.q.y, pose.q.z, pose.q.w});
    mixFloats(hash, {linear.x, linear.y, linear.z, angular.x, angular.y, angular.z});
    return hash;
}

void add(std::vector<BodyHash>& hashes, const std::string& name, const RigidDynamic* body) {
    if (body) {
        hashes.push_back({name, bodyHash(*body)});
    }
}

}  // namespace

std::vector<BodyHash> bodyHashes(const World& world) {
    std::vector<BodyHash> hashes;
    if (const Car* car = world.car.get()) {
        add(hashes, "chassis", car->chassis);
        add(hashes, "wheel 1", car->frontLeftWheel);
        add(hashes, "wheel 2", car->frontRightWheel);
        add(hashes, "wheel 3", car->rearLeftWheel);
        add(hashes, "wheel 4", car->rearRightWheel);
    }
    for (size_t i = 0; i < world.crates.size(); ++i) {
        add(hashes, "crate " + std::to_string(i + 1), world.crates[i]->actor);
    }
    for (size_t i = 0; i < world.figures.size(); ++i) {
        add(hashes, "figure " + std::to_string(i + 1), world.figures[i]->actor);
    }
    return hashes;
}

uint64_t worldHash(const World& world) {
    uint64_t hash = FNV_OFFSET;
    mix(hash, &world.level, sizeof(world.level));
    for (const BodyHash& body : bodyHashes(world)) {
        mix(hash, &body.hash, sizeof(body.hash));
    }
    return hash;
}

std::string hashReport(const World& world, int frame, bool bodies) {
    char line[128];
    std::snprintf(line, sizeof line, "frame %d hash %016" PRIx64 "\n", frame, worldHash(world));
    std::string report = line;
    if (bodies) {
        for (const BodyHash& body : bodyHashes(world)) {
            std::snprintf(line, sizeof line, "  %s %016" PRIx64 "\n", body.body.c_str(), body.hash);
            report += line;
        }
    }
    return report;
}
