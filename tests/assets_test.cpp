// The generated world: the route and the ground agree, every model imports
// and sits where the game puts it, the images decode at their sizes, the sky
// cube has no seams, the generator repeats itself byte for byte, and every
// model renders (previews land in the build tree for a person to look at).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gfx/image.h"
#include "gfx/model.h"
#include "gfx/skybox.h"
#include "gfx/texture.h"
#include "render/maths.h"
#include "tests/support/gl_context.h"
#include "tools/assetgen/crate.h"
#include "tools/assetgen/ground.h"
#include "tools/assetgen/image.h"
#include "tools/assetgen/mesh.h"
#include "tools/assetgen/route.h"
#include "tools/assetgen/shapes.h"
#include "tools/assetgen/vehicles.h"
#include "world/heightfield.h"
#include "world/physics.h"
#include "world/waving_figure.h"
#include "world/world.h"

namespace {

const vec3 Y_AXIS(0.0f, 1.0f, 0.0f);

std::string modelPath(const std::string& relative) {
    return sourcePath("Vrom2/model/" + relative);
}

// The game's ground for one level: its heightfield built from the generated
// heightmap and placed where the level puts it.
struct Ground {
    Physics physics;
    PhysicsScene scene{physics};
    std::unique_ptr<Heightfield> heightfield;

    Ground() {
        heightfield = std::make_unique<Heightfield>(0.66f, 0.66f, 0.315f, &scene,
                                                    modelPath("road3/heightmap.png"));
        if (heightfield->actor) {
            Pose pose;
            pose.p = vec3(-295.0f, -35.83f, -170.0f);
            heightfield->actor->setGlobalPose(pose);
        }
    }

    // Height of the ground below (x, z), or -1000 where there is none.
    float heightAt(float x, float z) const {
        float y = 0.0f;
        return scene.raycastDown(x, z, 100.0f, y) ? y : -1000.0f;
    }
};

struct Bounds {
    vec3 low{1e9f};
    vec3 high{-1e9f};
    void add(const vec3& p) {
        low = glm::min(low, p);
        high = glm::max(high, p);
    }
};

std::vector<vec3> transformedVertices(const Model& model, const mat4& transform) {
    std::vector<vec3> points;
    for (const Mesh& mesh : model.meshes) {
        for (const Vertex& v : mesh.vertices) {
            points.push_back(vec3(transform * vec4(v.position, 1.0f)));
        }
    }
    return points;
}

Bounds boundsOf(const std::vector<vec3>& points) {
    Bounds bounds;
    for (const vec3& p : points) {
        bounds.add(p);
    }
    return bounds;
}

float nearestDistance(const std::vector<vec3>& points, const vec3& target) {
    float best = 1e9f;
    for (const vec3& p : points) {
        best = std::min(best, glm::length(p - target));
    }
    return best;
}

// Loads a model with the game's loader; fails the test on an import error.
std::unique_ptr<Model> loadModel(const std::string& path) {
    StdoutCapture capture;
    auto model = std::make_unique<Model>(path.c_str());
    const std::string printed = capture.text();
    EXPECT_EQ(printed.find("ERROR::ASSIMP"), std::string::npos) << path << ": " << printed;
    EXPECT_FALSE(model->meshes.empty()) << path;
    return model;
}

mat4 carLocalTransform(const Layout& layout) {
    mat4 m = rotate(mat4(1.0f), 180.0f, Y_AXIS);
    m = scale(m, vec3(layout.carScale));
    return translate(m, layout.carOffset);
}

mat4 roadModelMatrix() {
    return translate(scale(mat4(1.0f), vec3(300.0f)), vec3(-0.42f, 0, 0));
}

// OpenGL's cube-map face selection: the face a direction lands on and its
// (s, t), t = 0 at the face's first image row.
void cubeLookup(const vec3& d, int& face, float& s, float& t) {
    const vec3 a = glm::abs(d);
    float sc, tc, ma;
    if (a.x >= a.y && a.x >= a.z) {
        face = d.x > 0 ? 0 : 1;
        ma = a.x;
        sc = d.x > 0 ? -d.z : d.z;
        tc = -d.y;
    } else if (a.y >= a.z) {
        face = d.y > 0 ? 2 : 3;
        ma = a.y;
        sc = d.x;
        tc = d.y > 0 ? d.z : -d.z;
    } else {
        face = d.z > 0 ? 4 : 5;
        ma = a.z;
        sc = d.z > 0 ? d.x : -d.x;
        tc = -d.y;
    }
    s = 0.5f * (sc / ma + 1.0f);
    t = 0.5f * (tc / ma + 1.0f);
}

// The inverse: a point of face `face` at (s, t), s and t may lie just beyond
// [0, 1] to reach across an edge.
vec3 cubeDirection(int face, float s, float t) {
    const float sc = 2.0f * s - 1.0f, tc = 2.0f * t - 1.0f;
    switch (face) {
        case 0:
            return vec3(1.0f, -tc, -sc);
        case 1:
            return vec3(-1.0f, -tc, sc);
        case 2:
            return vec3(sc, 1.0f, tc);
        case 3:
            return vec3(sc, -1.0f, -tc);
        case 4:
            return vec3(sc, -tc, 1.0f);
        default:
            return vec3(-sc, -tc, -1.0f);
    }
}

const char* const SKY_FACES[6] = {"right", "left", "top", "bottom", "back", "front"};

vec3 texel(const Image& image, int x, int y) {
    const unsigned char* p =
        image.pixels + (static_cast<size_t>(y) * image.width + x) * image.channels;
    return vec3(p[0], p[1], p[2]) / 255.0f;
}

std::vector<char> fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::map<std::string, std::vector<char>> treeContents(const std::string& root) {
    std::map<std::string, std::vector<char>> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files[std::filesystem::relative(entry.path(), root).string()] = fileBytes(entry.path());
        }
    }
    return files;
}

}  // namespace

// --- The route -------------------------------------------------------------

TEST(AssetRoute, LoopIsDrivableAndPassesEveryPlaceOfTheLevel) {
    // The route is laid around the level's own table.
    for (int i = 0; i < CRATE_COUNT; ++i) {
        EXPECT_EQ(ROUTE_CRATES[i], CRATE_POSITIONS[i]) << "crate " << i + 1;
    }
    ASSERT_EQ(ROUTE_CRATE_COUNT, CRATE_COUNT);

    const std::vector<CentreLinePoint>& points = centreLinePoints();
    const size_t n = points.size();
    ASSERT_GT(n, 100u);
    // It starts beside the car, heading the car's way (-Z).
    EXPECT_LT(glm::length(points[0].position - CAR_START_XZ), 10.0f);
    EXPECT_LT(points[0].direction.y, -0.99f);

    float tightest = 1e9f;
    for (size_t i = 0; i < n; ++i) {
        const glm::vec2 a = points[(i + n - 1) % n].position, b = points[i].position,
                        c = points[(i + 1) % n].position;
        EXPECT_LT(glm::length(c - b), 2.1f) << "gap after point " << i;
        const glm::vec2 ab = b - a, ac = c - a;
        const float area = 0.5f * std::fabs(ab.x * ac.y - ab.y * ac.x);
        if (area > 1e-5f) {
            tightest = std::min(
                tightest, glm::length(ab) * glm::length(c - b) * glm::length(ac) / (4.0f * area));
        }
    }
    EXPECT_GE(tightest, MIN_TURN_RADIUS - 0.1f);

    // Parts of the loop far apart along it never come near each other: walls
    // between them, no shortcuts, no overlaps.
    const float length = roadLength();
    for (size_t i = 0; i < n; i += 2) {
        for (size_t j = i + 1; j < n; j += 2) {
            float along = std::fabs(points[i].distanceAlong - points[j].distanceAlong);
            along = std::min(along, length - along);
            if (along > 60.0f) {
                const float gap = glm::length(points[i].position - points[j].position) -
                                  points[i].halfWidth - points[j].halfWidth - 2 * KERB_WIDTH;
                ASSERT_GT(gap, 8.0f) << "points " << i << " and " << j;
            }
        }
    }

    // Every crate near the centre line, off it, with 3 units of road to the
    // nearer edge; the start and the figure well inside the road.
    for (int i = 0; i < CRATE_COUNT; ++i) {
        const RoadProjection p = projectOntoRoad(ROUTE_CRATES[i].x, ROUTE_CRATES[i].z);
        EXPECT_GT(p.distance, 0.5f) << "crate " << i + 1 << " sits on the centre line";
        EXPECT_GE(p.halfWidth - p.distance, 3.0f) << "crate " << i + 1;
        EXPECT_TRUE(onRoad(ROUTE_CRATES[i].x, ROUTE_CRATES[i].z));
    }
    for (glm::vec2 place : {CAR_START_XZ, FIGURE_BLOCK_XZ}) {
        const RoadProjection p = projectOntoRoad(place.x, place.y);
        EXPECT_GE(p.halfWidth - p.distance, 3.0f) << place.x << ", " << place.y;
    }
    EXPECT_FALSE(onRoad(-126.0f, 0.0f));  // the middle of the loop is a drop
}

// --- The ground ------------------------------------------------------------

TEST(AssetGround, HeightfieldIsThePlateauUnderTheRoadAndTheFloorBeyondIt) {
    Ground ground;
    ASSERT_NE(ground.heightfield->actor, nullptr) << "the game could not use the heightmap";
    HeightfieldDesc desc;
    ASSERT_TRUE(readHeightSamples(modelPath("road3/heightmap.png"), desc));
    EXPECT_EQ(desc.rows, HEIGHTMAP_ROWS);
    EXPECT_EQ(desc.columns, HEIGHTMAP_COLUMNS);

    const float plateau = -35.83f + 114 * 0.315f;
    // Everything the level places stands on the plateau, with 3 units of it
    // all around.
    std::vector<glm::vec2> places = {CAR_START_XZ, FIGURE_BLOCK_XZ};
    for (const vec3& crate : CRATE_POSITIONS) {
        places.emplace_back(crate.x, crate.z);
    }
    for (const glm::vec2& place : places) {
        for (float dx = -3.0f; dx <= 3.0f; dx += 0.5f) {
            for (float dz = -3.0f; dz <= 3.0f; dz += 0.5f) {
                if (dx * dx + dz * dz <= 9.0f) {
                    ASSERT_NEAR(ground.heightAt(place.x + dx, place.y + dz), plateau, 1e-3f)
                        << "at " << place.x + dx << ", " << place.y + dz;
                }
            }
        }
    }
    // A few units beyond either edge the ground is the floor far below,
    // except where another part of the loop passes.
    const std::vector<CentreLinePoint>& points = centreLinePoints();
    int floorChecks = 0;
    for (size_t i = 0; i < points.size(); i += 3) {
        const CentreLinePoint& p = points[i];
        const glm::vec2 right(-p.direction.y, p.direction.x);
        for (float side : {-1.0f, 1.0f}) {
            const glm::vec2 beyond =
                p.position + right * (side * (p.halfWidth + KERB_WIDTH + 2.5f));
            if (distanceToCentreLine(beyond.x, beyond.y) < p.halfWidth + KERB_WIDTH + 2.0f) {
                continue;
            }
            ASSERT_NEAR(ground.heightAt(beyond.x, beyond.y), -35.83f, 1e-3f)
                << "beyond point " << i << " at " << beyond.x << ", " << beyond.y;
            ++floorChecks;
        }
    }
    EXPECT_GT(floorChecks, 400);
    EXPECT_NEAR(ground.heightAt(-126.0f, 0.0f), -35.83f, 1e-3f);
}

TEST(AssetGround, RoadModelLiesJustBelowTheGroundItCovers) {
    testGlContext();
    Ground ground;
    ASSERT_NE(ground.heightfield->actor, nullptr);
    std::unique_ptr<Model> road = loadModel(modelPath("road3/road3.obj"));
    const mat4 toWorld = roadModelMatrix();

    const float plateau = -35.83f + 114 * 0.315f;
    size_t triangles = 0;
    int roadPoints = 0;
    Bounds all;
    for (const Mesh& mesh : road->meshes) {
        triangles += mesh.indices.size() / 3;
        for (size_t i = 0; i + 2 < mesh.indices.size(); i += 3) {
            vec3 corners[3];
            bool upward = true;
            for (int k = 0; k < 3; ++k) {
                const Vertex& v = mesh.vertices[mesh.indices[i + k]];
                corners[k] = vec3(toWorld * vec4(v.position, 1.0f));
                upward = upward && v.normal.y > 0.99f;
                all.add(corners[k]);
            }
            // The road's top: flat, 0.4 below the heightfield wherever it
            // covers asphalt (corners and middle of every triangle there).
            if (!upward || corners[0].y < -10.0f) {
                continue;
            }
            const vec3 middle = (corners[0] + corners[1] + corners[2]) / 3.0f;
            for (const vec3& p : {corners[0], corners[1], corners[2], middle}) {
                ASSERT_NEAR(p.y, plateau - 0.4f, 2e-3f);
                if (onRoad(p.x, p.z)) {
                    ASSERT_NEAR(ground.heightAt(p.x, p.z), p.y + 0.4f, 2e-3f)
                        << "at " << p.x << ", " << p.z;
                    ++roadPoints;
                }
            }
        }
    }
    EXPECT_GT(roadPoints, 3000);
    // Few enough to import quickly at every level build: straights are a
    // few long quads.
    EXPECT_LE(triangles, 6000u);
    // The floor below covers the heightfield's area at the drawn floor level.
    EXPECT_NEAR(all.low.y, -35.83f - 0.4f, 2e-3f);
    EXPECT_LE(all.low.x, -295.0f + 0.01f);
    EXPECT_GE(all.high.x, -295.0f + (HEIGHTMAP_ROWS - 1) * 0.66f - 0.01f);
    EXPECT_LE(all.low.z, -170.0f + 0.01f);
    EXPECT_GE(all.high.z, -170.0f + (HEIGHTMAP_COLUMNS - 1) * 0.66f - 0.01f);
}

TEST(AssetGround, RoadModelFollowsTheCentreLineToTheKerbs) {
    testGlContext();
    std::unique_ptr<Model> road = loadModel(modelPath("road3/road3.obj"));
    const mat4 toWorld = roadModelMatrix();
    // The top of the road (asphalt and kerbs) as triangles in world x, z.
    std::vector<std::array<glm::vec2, 3>> top;
    for (const Mesh& mesh : road->meshes) {
        for (size_t i = 0; i + 2 < mesh.indices.size(); i += 3) {
            std::array<glm::vec2, 3> corners;
            bool upward = true;
            for (int k = 0; k < 3; ++k) {
                const Vertex& v = mesh.vertices[mesh.indices[i + k]];
                const vec3 p = vec3(toWorld * vec4(v.position, 1.0f));
                corners[k] = glm::vec2(p.x, p.z);
                upward = upward && v.normal.y > 0.99f && p.y > -10.0f;
            }
            if (upward) {
                top.push_back(corners);
            }
        }
    }
    ASSERT_FALSE(top.empty());
    auto covered = [&top](glm::vec2 q) {
        for (const auto& t : top) {
            auto side = [&](glm::vec2 a, glm::vec2 b) {
                return (b.x - a.x) * (q.y - a.y) - (b.y - a.y) * (q.x - a.x);
            };
            const float d0 = side(t[0], t[1]), d1 = side(t[1], t[2]), d2 = side(t[2], t[0]);
            if ((d0 >= -1e-4f && d1 >= -1e-4f && d2 >= -1e-4f) ||
                (d0 <= 1e-4f && d1 <= 1e-4f && d2 <= 1e-4f)) {
                return true;
            }
        }
        return false;
    };
    // Across the road at every centre-line point and half way to the next:
    // the top reaches the kerbs' outer edges to within 5 cm, and no further.
    const std::vector<CentreLinePoint>& points = centreLinePoints();
    for (size_t i = 0; i < points.size(); ++i) {
        const CentreLinePoint& a = points[i];
        const CentreLinePoint& b = points[(i + 1) % points.size()];
        for (float t : {0.0f, 0.5f}) {
            const glm::vec2 centre = glm::mix(a.position, b.position, t);
            const glm::vec2 direction = glm::normalize(glm::mix(a.direction, b.direction, t));
            const glm::vec2 right(-direction.y, direction.x);
            const float edge = glm::mix(a.halfWidth, b.halfWidth, t) + KERB_WIDTH;
            for (float lateral : {-edge + 0.05f, -0.5f * edge, 0.0f, 0.5f * edge, edge - 0.05f}) {
                ASSERT_TRUE(covered(centre + right * lateral))
                    << "hole at point " << i << " + " << t << ", " << lateral << " across";
            }
            for (float lateral : {-edge - 0.05f, edge + 0.05f}) {
                EXPECT_FALSE(covered(centre + right * lateral))
                    << "beyond the kerb at point " << i << " + " << t << ", " << lateral;
            }
        }
    }
}

// --- The models ------------------------------------------------------------

TEST(AssetModels, EveryModelHasNormalsOutwardWindingAndFourByteRowTextures) {
    testGlContext();
    const std::vector<std::pair<std::string, size_t>> models = {
        {"road3/road3.obj", 6000}, {"car1/coupe.obj", 3500}, {"car3/car3.obj", 3500},
        {"plinn/body.obj", 2000},  {"plinn/lh.obj", 400},    {"plinn/rh.obj", 400}};
    for (const auto& [relative, budget] : models) {
        SCOPED_TRACE(relative);
        std::unique_ptr<Model> model = loadModel(modelPath(relative));
        size_t triangles = 0, flipped = 0, checked = 0;
        for (const Mesh& mesh : model->meshes) {
            // Diffuse, specular and reflection maps, in that order.
            ASSERT_EQ(mesh.textures.size(), 3u);
            EXPECT_EQ(mesh.textures[0].type, "texture_diffuse");
            EXPECT_EQ(mesh.textures[2].type, "texture_reflection");
            for (const Vertex& v : mesh.vertices) {
                ASSERT_NEAR(glm::length(v.normal), 1.0f, 1e-3f);
            }
            triangles += mesh.indices.size() / 3;
            for (size_t i = 0; i + 2 < mesh.indices.size(); i += 3) {
                const Vertex& a = mesh.vertices[mesh.indices[i]];
                const Vertex& b = mesh.vertices[mesh.indices[i + 1]];
                const Vertex& c = mesh.vertices[mesh.indices[i + 2]];
                const vec3 face = glm::cross(b.position - a.position, c.position - a.position);
                if (glm::length(face) < 1e-9f) {
                    continue;
                }
                ++checked;
                // Counter-clockwise seen from the side the normals point to.
                if (glm::dot(face, a.normal + b.normal + c.normal) <= 0.0f) {
                    ++flipped;
                }
            }
        }
        EXPECT_EQ(flipped, 0u) << "of " << checked << " triangles";
        EXPECT_LE(triangles, budget);
        for (const MeshTexture& texture : model->loadedTextures) {
            const std::string name = texture.path.C_Str();
            EXPECT_EQ(name.find_first_of("/\\"), std::string::npos) << name;
            const Image image(model->directory + "/" + name, IMAGE_RGB);
            ASSERT_TRUE(image.loaded()) << name;
            EXPECT_EQ(image.width % 4, 0) << name;
        }
    }
}

TEST(AssetModels, CarsCoverTheirChassisAndStandOnTheirWheels) {
    testGlContext();
    for (int level : {1, 2}) {
        const Layout& layout = layoutFor(level);
        SCOPED_TRACE(layout.carModel);
        std::unique_ptr<Model> car = loadModel(sourcePath(layout.carModel));
        // Chassis frame: the chassis box is 1.2 x 0.6 x 2.8 about the origin,
        // forward is -Z, the wheel spheres touch the ground at y = -0.6 and
        // the visible road is 0.4 lower.
        const mat4 local = carLocalTransform(layout);
        const std::vector<vec3> points = transformedVertices(*car, local);
        const Bounds b = boundsOf(points);
        EXPECT_NEAR(b.low.y, -1.0f, 0.02f);
        EXPECT_GT(b.high.y, 0.3f);
        EXPECT_LT(b.high.y, 1.0f);
        EXPECT_LT(b.low.x, -0.7f);
        EXPECT_GT(b.high.x, 0.7f);
        EXPECT_GT(b.low.x, -0.9f);
        EXPECT_LT(b.high.x, 0.9f);
        EXPECT_LT(b.low.z, -1.4f);
        EXPECT_GT(b.high.z, 1.4f);
        EXPECT_GT(b.low.z, -1.8f);
        EXPECT_LT(b.high.z, 1.8f);

        // What touches the road are four tyres under the wheel anchors.
        for (float x : {-0.6f, 0.6f}) {
            for (float z : {-1.0f, 1.0f}) {
                vec3 sum(0.0f);
                int count = 0;
                for (const vec3& p : points) {
                    if (p.y < -0.97f && p.x * x > 0.0f && p.z * z > 0.0f) {
                        sum += p;
                        ++count;
                    }
                }
                ASSERT_GT(count, 0) << "no tyre near " << x << ", " << z;
                EXPECT_NEAR(sum.x / count, x, 0.15f);
                EXPECT_NEAR(sum.z / count, z, 0.15f);
            }
        }

        // Headlights at the front (-Z of the chassis), tail lights at the back.
        for (auto [cell, front] : {std::pair{Headlight, true}, std::pair{Taillight, false}}) {
            const AtlasCell rect = carAtlasCell(cell);
            float zSum = 0.0f;
            int count = 0;
            for (const Mesh& mesh : car->meshes) {
                for (const Vertex& v : mesh.vertices) {
                    // The loader flipped v: t is the image row from the top.
                    const float px = v.texCoords.x * rect.width, py = v.texCoords.y * rect.height;
                    if (px >= rect.x0 - 0.5f && px <= rect.x1 + 0.5f && py >= rect.y0 - 0.5f &&
                        py <= rect.y1 + 0.5f) {
                        zSum += vec3(local * vec4(v.position, 1.0f)).z;
                        ++count;
                    }
                }
            }
            ASSERT_GT(count, 0);
            if (front) {
                EXPECT_LT(zSum / count, -1.2f);
            } else {
                EXPECT_GT(zSum / count, 1.2f);
            }
        }
    }
}

TEST(AssetModels, FigureStandsOnTheRoadWithItsArmsAtItsShoulders) {
    testGlContext();
    StdoutCapture capture;
    WavingFigure figure;  // loads the three models and sets the hand transforms
    EXPECT_EQ(capture.text(), "");
    ASSERT_FALSE(figure.bodyModel->meshes.empty());
    ASSERT_FALSE(figure.leftHandModel->meshes.empty());
    ASSERT_FALSE(figure.rightHandModel->meshes.empty());

    // At rest the collision block (half size 0.2, 0.4, 0.2) is centred at
    // (1.5, 0.52, -1.1): the ground is at y = 0.12, the visible road at -0.28.
    const std::vector<vec3> body = transformedVertices(*figure.bodyModel, mat4(1.0f));
    const Bounds b = boundsOf(body);
    EXPECT_NEAR(b.low.y, -0.28f, 0.01f);
    EXPECT_NEAR(b.high.y - b.low.y, 1.6f, 0.2f);
    EXPECT_NEAR(0.5f * (b.low.x + b.high.x), 1.5f, 0.05f);
    EXPECT_NEAR(0.5f * (b.low.z + b.high.z), -1.1f, 0.08f);
    for (const vec3& p : body) {
        if (p.y < -0.2f) {  // the feet stand under the block
            EXPECT_LT(std::fabs(p.x - 1.5f), 0.3f);
            EXPECT_LT(std::fabs(p.z + 1.1f), 0.3f);
        }
    }

    // The right arm hangs from its model origin, the shoulder pivot, and is
    // modelled along -X; turned by the game's transform it is raised.
    const std::vector<vec3> rightModel = transformedVertices(*figure.rightHandModel, mat4(1.0f));
    EXPECT_LT(nearestDistance(rightModel, vec3(0.0f)), 0.1f);
    EXPECT_LT(boundsOf(rightModel).high.x, 0.1f);
    const vec3 rightShoulder = vec3(figure.rightHandTransform * vec4(0, 0, 0, 1));
    EXPECT_NEAR(glm::length(rightShoulder - vec3(1.094f, 1.062f, -1.05f)), 0.0f, 2e-3f);
    EXPECT_LT(nearestDistance(body, rightShoulder), 0.12f) << "the arm floats off the body";
    const std::vector<vec3> right =
        transformedVertices(*figure.rightHandModel, figure.rightHandTransform);
    const Bounds rb = boundsOf(right);
    EXPECT_GT(rb.high.y, b.high.y - 0.2f) << "the waving hand is not raised";
    EXPECT_LT(rb.low.x, rightShoulder.x - 0.2f) << "raised outwards, to the figure's right";

    // The left arm hangs at the mirrored shoulder.
    const vec3 leftShoulder(1.906f, 1.062f, -1.05f);
    const std::vector<vec3> left =
        transformedVertices(*figure.leftHandModel, figure.leftHandTransform);
    const Bounds lb = boundsOf(left);
    EXPECT_LT(nearestDistance(left, leftShoulder), 0.1f);
    EXPECT_LT(nearestDistance(body, leftShoulder), 0.12f);
    EXPECT_NEAR(lb.high.y, leftShoulder.y + 0.08f, 0.05f);
    EXPECT_LT(lb.low.y, 0.6f);
    EXPECT_GT(lb.low.y, 0.0f);
}

// --- The images ------------------------------------------------------------

TEST(AssetImages, CrateAndSkyImagesDecodeAtTheirSizes) {
    // Crate: the specular and reflection maps pick out the steel frame.
    const int size = CRATE_TEXTURE_SIZE;
    const Image diffuse(modelPath("container2.png"), IMAGE_RGB);
    const Image specular(modelPath("container2_specular.png"), IMAGE_RGB);
    const Image reflection(modelPath("container2_reflection.png"), IMAGE_RGB);
    for (const Image* image : {&diffuse, &specular, &reflection}) {
        ASSERT_TRUE(image->loaded());
        EXPECT_EQ(image->width, size);
        EXPECT_EQ(image->height, size);
    }
    // Fractions of the face: the frame is its outer 8.5 %.
    auto meanOver = [](const Image& image, bool frame) {
        float sum = 0.0f;
        int count = 0;
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const float edge =
                    std::min(std::min(x, image.width - 1 - x), std::min(y, image.height - 1 - y)) /
                    static_cast<float>(image.width);
                if ((frame && edge < 0.06f) || (!frame && edge > 0.16f)) {
                    sum += texel(image, x, y).r;
                    ++count;
                }
            }
        }
        return sum / count;
    };
    EXPECT_GT(meanOver(specular, true), 0.5f);
    EXPECT_LT(meanOver(specular, false), 0.2f);
    EXPECT_GT(meanOver(reflection, true), 0.3f);
    EXPECT_LT(meanOver(reflection, false), 0.1f);
    // Wood is warm, steel is grey.
    const vec3 wood = texel(diffuse, size / 2, size * 200 / 512),
               steel = texel(diffuse, size * 10 / 512, size / 2 + 8);
    EXPECT_GT(wood.r - wood.b, 0.15f);
    EXPECT_LT(std::fabs(steel.r - steel.b), 0.1f);
    // Five planks: down the middle of the wood, four gaps, each a single
    // dark row between brighter ones (drawn for this size, not scaled down).
    std::vector<int> gaps;
    const int frame = static_cast<int>(std::lround(0.085f * size));
    for (int y = frame + 1; y < size - frame - 1; ++y) {
        const float here = glm::length(texel(diffuse, size / 3, y));
        if (here < 0.2f) {
            gaps.push_back(y);
            EXPECT_GT(glm::length(texel(diffuse, size / 3, y - 1)), 0.4f) << "row " << y;
            EXPECT_GT(glm::length(texel(diffuse, size / 3, y + 1)), 0.4f) << "row " << y;
        }
    }
    EXPECT_EQ(gaps.size(), 4u);
    // The grey maps are stored with one channel (PNG colour type 0): less to
    // decode for each of a level's crates.
    for (const char* grey : {"container2_specular.png", "container2_reflection.png"}) {
        const std::vector<char> bytes = fileBytes(modelPath(grey));
        ASSERT_GT(bytes.size(), 26u);
        EXPECT_EQ(bytes[25], 0) << grey;
    }

    for (const char* sky : {"sky1", "sky2"}) {
        for (const char* face : SKY_FACES) {
            const std::string path = modelPath(std::string(sky) + "/" + face + ".jpg");
            const Image image(path, IMAGE_RGB);
            ASSERT_TRUE(image.loaded()) << path;
            EXPECT_EQ(image.width, 1024) << path;
            EXPECT_EQ(image.height, 1024) << path;
            // Baseline frames only: the decoder refuses progressive ones.
            const std::vector<char> bytes = fileBytes(path);
            bool baseline = false, progressive = false;
            for (size_t i = 0; i + 1 < bytes.size(); ++i) {
                if (static_cast<unsigned char>(bytes[i]) == 0xFF) {
                    baseline = baseline || static_cast<unsigned char>(bytes[i + 1]) == 0xC0;
                    progressive = progressive || static_cast<unsigned char>(bytes[i + 1]) == 0xC2;
                }
            }
            EXPECT_TRUE(baseline && !progressive) << path;
        }
    }
    // The clear day's zenith is blue and deeper than the haze far below.
    const Image top(modelPath("sky1/top.jpg"), IMAGE_RGB),
        bottom(modelPath("sky1/bottom.jpg"), IMAGE_RGB);
    const vec3 up = texel(top, 512, 512), down = texel(bottom, 512, 512);
    EXPECT_GT(up.b - up.r, 0.3f);
    EXPECT_GT(up.b - up.r, down.b - down.r + 0.1f);
    // Dusk is darker overhead and warm at the horizon.
    const Image duskTop(modelPath("sky2/top.jpg"), IMAGE_RGB);
    const Image duskSide(modelPath("sky2/front.jpg"), IMAGE_RGB);
    EXPECT_LT(glm::length(texel(duskTop, 512, 512)), glm::length(up));
    const vec3 horizon = texel(duskSide, 512, 505);
    EXPECT_GT(horizon.r, horizon.b);
}

TEST(AssetImages, SkyFacesMeetAlongEveryCubeEdge) {
    for (const char* sky : {"sky1", "sky2"}) {
        SCOPED_TRACE(sky);
        std::vector<std::unique_ptr<Image>> faces;
        for (const char* face : SKY_FACES) {
            faces.push_back(std::make_unique<Image>(
                modelPath(std::string(sky) + "/" + face + ".jpg"), IMAGE_RGB));
            ASSERT_TRUE(faces.back()->loaded());
        }
        const int size = faces[0]->width;
        // Each border texel against the texel just across the edge, found
        // by OpenGL's own face selection.
        double total = 0.0;
        int count = 0, large = 0;
        for (int face = 0; face < 6; ++face) {
            for (int i = 0; i < size; ++i) {
                const float along = (i + 0.5f) / size;
                const float out = -0.5f / size, in = 0.5f / size;
                const struct {
                    float s, t, sOut, tOut;
                } edges[4] = {{in, along, out, along},
                              {1 - in, along, 1 - out, along},
                              {along, in, along, out},
                              {along, 1 - in, along, 1 - out}};
                for (const auto& e : edges) {
                    int other;
                    float s, t;
                    cubeLookup(cubeDirection(face, e.sOut, e.tOut), other, s, t);
                    EXPECT_NE(other, face);
                    const int x = std::clamp(static_cast<int>(s * size), 0, size - 1);
                    const int y = std::clamp(static_cast<int>(t * size), 0, size - 1);
                    const int ownX = std::clamp(static_cast<int>(e.s * size), 0, size - 1);
                    const int ownY = std::clamp(static_cast<int>(e.t * size), 0, size - 1);
                    const vec3 difference =
                        glm::abs(texel(*faces[face], ownX, ownY) - texel(*faces[other], x, y));
                    const float worst =
                        std::max(difference.r, std::max(difference.g, difference.b));
                    total += worst;
                    ++count;
                    large += worst > 0.12f ? 1 : 0;
                }
            }
        }
        EXPECT_LT(total / count, 0.012) << "faces do not continue across their edges";
        EXPECT_LT(large, count / 1000);
    }
}

// --- The generator ---------------------------------------------------------

TEST(AssetGenerator, TwoRunsWriteTheSameBytesAsTheBuild) {
    const std::string generator = buildPath("tools/assetgen/vromdash-assetgen");
    ASSERT_TRUE(std::filesystem::exists(generator)) << generator;
    const std::string first = scratchDirectory("assets-first");
    const std::string second = scratchDirectory("assets-second");
    ASSERT_EQ(std::system(("\"" + generator + "\" \"" + first + "\" > /dev/null").c_str()), 0);
    ASSERT_EQ(std::system(("\"" + generator + "\" \"" + second + "\" > /dev/null").c_str()), 0);
    const auto a = treeContents(first), b = treeContents(second);
    EXPECT_GE(a.size(), 40u);
    ASSERT_EQ(a.size(), b.size());
    for (const auto& [name, bytes] : a) {
        ASSERT_TRUE(b.count(name)) << name;
        EXPECT_TRUE(bytes == b.at(name)) << name << " differs between runs";
    }
    // The build ran this same generator into Vrom2/model.
    const auto built = treeContents(sourcePath("Vrom2/model"));
    for (const auto& [name, bytes] : a) {
        ASSERT_TRUE(built.count(name)) << name << " missing from Vrom2/model";
        EXPECT_TRUE(bytes == built.at(name)) << name << " in Vrom2/model is stale";
    }
}

TEST(AssetGenerator, ObjFilesWriteEachValueOnceAndImportAsBuilt) {
    testGlContext();
    // Two boxes, the second turned about Y and moved off round numbers: 48
    // corners, but 16 positions, 10 normals (the boxes share up and down)
    // and 4 texture coordinates.
    MeshPart part{"boxes", "plain", {}, {}, {}, {}};
    const AtlasCell whole{0.0f, 0.0f, 64.0f, 64.0f, 64, 64};
    addBox(part, glm::vec3(-1.0f), glm::vec3(1.0f), whole);
    MeshPart turned;
    addBox(turned, glm::vec3(0.0f), glm::vec3(0.3f, 0.7f, 1.1f), whole);
    appendTransformed(part, turned,
                      translate(rotate(mat4(1.0f), 17.0f, Y_AXIS), vec3(2.123456f, 0.5f, -3.2f)));
    Material plain;
    plain.name = "plain";
    const std::string folder = scratchDirectory("obj-writer");
    ASSERT_TRUE(writeObj(folder + "/boxes.obj", "boxes.mtl", {part}, {plain}));
    std::ifstream in(folder + "/boxes.obj");
    std::map<std::string, int> counts;
    for (std::string line; std::getline(in, line);) {
        counts[line.substr(0, line.find(' '))] += 1;
    }
    EXPECT_EQ(counts["v"], 16);
    EXPECT_EQ(counts["vn"], 10);
    EXPECT_EQ(counts["vt"], 4);
    EXPECT_EQ(counts["f"], 24);

    // Imported corner by corner, every value within the written precision.
    std::unique_ptr<Model> model = loadModel(folder + "/boxes.obj");
    ASSERT_EQ(model->meshes.size(), 1u);
    const Mesh& mesh = model->meshes[0];
    ASSERT_EQ(mesh.indices.size(), part.indices.size());
    for (size_t k = 0; k < mesh.indices.size(); ++k) {
        const Vertex& v = mesh.vertices[mesh.indices[k]];
        const std::uint32_t i = part.indices[k];
        EXPECT_LT(glm::length(v.position - part.positions[i]), 1e-4f) << "corner " << k;
        EXPECT_LT(glm::length(v.normal - part.normals[i]), 1e-4f) << "corner " << k;
        // The loader flips v back to image rows.
        EXPECT_LT(glm::length(v.texCoords - glm::vec2(part.uvs[i].x, 1.0f - part.uvs[i].y)), 1e-4f)
            << "corner " << k;
    }
}

// --- Previews --------------------------------------------------------------

namespace {

const char* const PREVIEW_VERTEX = R"(#version 330 core
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec2 aTexCoords;
uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;
out vec3 worldPos;
out vec3 normal;
out vec2 uv;
void main() {
    vec4 w = model * vec4(aPos, 1.0);
    worldPos = w.xyz;
    normal = mat3(transpose(inverse(model))) * aNormal;
    uv = aTexCoords;
    gl_Position = projection * view * w;
})";

// A sun from above, and the sky reflected where the reflection map says.
const char* const PREVIEW_FRAGMENT = R"(#version 330 core
in vec3 worldPos;
in vec3 normal;
in vec2 uv;
out vec4 colour;
uniform sampler2D texture_diffuse1;
uniform sampler2D texture_reflection1;
uniform samplerCube sky;
uniform vec3 eye;
void main() {
    vec3 n = normalize(normal);
    vec3 albedo = texture(texture_diffuse1, uv).rgb;
    float shade = 0.45 + 0.55 * max(dot(n, normalize(vec3(0.4, 0.8, 0.3))), 0.0);
    vec3 mirrored = texture(sky, reflect(normalize(worldPos - eye), n)).rgb;
    float k = texture(texture_reflection1, uv).r;
    colour = vec4(mix(albedo * shade, mirrored, 0.5 * k), 1.0);
})";

const char* const SKY_VERTEX = R"(#version 330 core
layout(location = 0) in vec3 aPos;
uniform mat4 view;
uniform mat4 projection;
out vec3 direction;
void main() {
    direction = aPos;
    gl_Position = (projection * view * vec4(aPos, 1.0)).xyww;
})";

const char* const SKY_FRAGMENT = R"(#version 330 core
in vec3 direction;
out vec4 colour;
uniform samplerCube skybox;
void main() { colour = texture(skybox, direction); })";

GLuint compileProgram(const char* vertexSource, const char* fragmentSource) {
    const GLuint program = glCreateProgram();
    for (auto [type, source] : {std::pair{GL_VERTEX_SHADER, vertexSource},
                                std::pair{GL_FRAGMENT_SHADER, fragmentSource}}) {
        const GLuint shader = glCreateShader(type);
        glShaderSource(shader, 1, &source, nullptr);
        glCompileShader(shader);
        GLint ok = 0;
        glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
        if (!ok) {
            char log[1024] = {};
            glGetShaderInfoLog(shader, sizeof(log), nullptr, log);
            ADD_FAILURE() << log;
        }
        glAttachShader(program, shader);
        glDeleteShader(shader);
    }
    glLinkProgram(program);
    return program;
}

// An off-screen picture with a depth buffer, the two programs and the sky
// cube maps; released when it goes.
class Preview {
public:
    static constexpr int WIDTH = 800;
    static constexpr int HEIGHT = 600;
    GLuint fbo = 0, colour = 0, depth = 0, program = 0, skyProgram = 0;
    std::unique_ptr<Skybox> sky;
    mat4 view{1.0f}, projection{1.0f};
    vec3 eye{0.0f};

    Preview() {
        glGenFramebuffers(1, &fbo);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glGenRenderbuffers(1, &colour);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, WIDTH, HEIGHT);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        glGenRenderbuffers(1, &depth);
        glBindRenderbuffer(GL_RENDERBUFFER, depth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, WIDTH, HEIGHT);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
        EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER),
                  static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
        program = compileProgram(PREVIEW_VERTEX, PREVIEW_FRAGMENT);
        skyProgram = compileProgram(SKY_VERTEX, SKY_FRAGMENT);
    }
    ~Preview() {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &fbo);
        glDeleteRenderbuffers(1, &colour);
        glDeleteRenderbuffers(1, &depth);
        glDeleteProgram(program);
        glDeleteProgram(skyProgram);
    }
    Preview(const Preview&) = delete;
    Preview& operator=(const Preview&) = delete;

    void useSky(const std::string& folder) { sky = std::make_unique<Skybox>(modelPath(folder)); }

    void begin(const vec3& from, const vec3& at, float fov, float far, const vec3& up = Y_AXIS) {
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glViewport(0, 0, WIDTH, HEIGHT);
        glEnable(GL_DEPTH_TEST);
        glClearColor(0.55f, 0.6f, 0.65f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        eye = from;
        view = lookAt(from, at, up);
        projection = perspective(fov, static_cast<float>(WIDTH) / HEIGHT, 0.05f, far);
    }

    // Draws a Model or a Mesh with the preview program.
    template <class Drawable>
    void draw(const Drawable& drawable, const mat4& matrix) const {
        glUseProgram(program);
        glUniformMatrix4fv(glGetUniformLocation(program, "model"), 1, GL_FALSE, &matrix[0][0]);
        glUniformMatrix4fv(glGetUniformLocation(program, "view"), 1, GL_FALSE, &view[0][0]);
        glUniformMatrix4fv(glGetUniformLocation(program, "projection"), 1, GL_FALSE,
                           &projection[0][0]);
        glUniform3f(glGetUniformLocation(program, "eye"), eye.x, eye.y, eye.z);
        glActiveTexture(GL_TEXTURE3);
        glUniform1i(glGetUniformLocation(program, "sky"), 3);
        glBindTexture(GL_TEXTURE_CUBE_MAP, sky ? sky->cubeMapTexture.get() : 0);
        drawable.draw(program);
    }

    void drawSky() {
        if (sky) {
            sky->view = withoutTranslation(view);
            sky->projection = projection;
            sky->draw(skyProgram);
        }
    }

    // Saves the picture under the build tree and returns the share of it
    // that is not the plain background.
    float save(const std::string& name) const {
        std::vector<unsigned char> rgba(static_cast<size_t>(WIDTH) * HEIGHT * 4);
        glReadPixels(0, 0, WIDTH, HEIGHT, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        Bitmap picture = makeBitmap(WIDTH, HEIGHT, 3);
        int covered = 0;
        for (int y = 0; y < HEIGHT; ++y) {
            for (int x = 0; x < WIDTH; ++x) {
                const unsigned char* p =
                    &rgba[(static_cast<size_t>(HEIGHT - 1 - y) * WIDTH + x) * 4];
                std::copy(p, p + 3, &picture.pixels[(static_cast<size_t>(y) * WIDTH + x) * 3]);
                const int background[3] = {140, 153, 166};
                int difference = 0;
                for (int k = 0; k < 3; ++k) {
                    difference += std::abs(p[k] - background[k]);
                }
                covered += difference > 6 ? 1 : 0;
            }
        }
        std::filesystem::create_directories(buildPath("previews"));
        EXPECT_TRUE(writePng(buildPath("previews/" + name + ".png"), picture));
        return static_cast<float>(covered) / (WIDTH * HEIGHT);
    }
};

// The crate's drawn cube (the game draws it from its own table) with the
// crate's textures, for the scene previews.
struct CrateCube {
    std::unique_ptr<Mesh> mesh;
    std::vector<GlTexture> textures;

    CrateCube() {
        std::vector<Vertex> vertices;
        std::vector<unsigned int> indices;
        for (int axis = 0; axis < 3; ++axis) {
            for (float side : {-0.5f, 0.5f}) {
                vec3 normal(0.0f);
                normal[axis] = side * 2.0f;
                const int u = (axis + 1) % 3, v = (axis + 2) % 3;
                const unsigned int base = static_cast<unsigned int>(vertices.size());
                for (int k = 0; k < 4; ++k) {
                    vec3 p(0.0f);
                    p[axis] = side;
                    p[u] = (k == 1 || k == 2) ? 0.5f : -0.5f;
                    p[v] = k >= 2 ? 0.5f : -0.5f;
                    vertices.push_back({p, normal, glm::vec2(p[u] + 0.5f, p[v] + 0.5f)});
                }
                for (unsigned int i : {0u, 1u, 2u, 0u, 2u, 3u}) {
                    indices.push_back(base + i);
                }
            }
        }
        std::vector<MeshTexture> list;
        for (auto [file, type] : {std::pair{"container2.png", "texture_diffuse"},
                                  std::pair{"container2_specular.png", "texture_specular"},
                                  std::pair{"container2_reflection.png", "texture_reflection"}}) {
            textures.push_back(loadTextureFromFile(file, sourcePath("Vrom2/model")));
            MeshTexture texture;
            texture.id = textures.back().get();
            texture.type = type;
            list.push_back(texture);
        }
        mesh = std::make_unique<Mesh>(vertices, indices, list);
    }
};

}  // namespace

TEST(AssetPreviews, EveryModelRendersAndTheLevelLooksRight) {
    ASSERT_NE(testGlContext(), nullptr);
    Preview preview;
    preview.useSky("sky1");
    std::unique_ptr<Model> coupe = loadModel(sourcePath(layoutFor(1).carModel));
    std::unique_ptr<Model> pickup = loadModel(sourcePath(layoutFor(2).carModel));
    std::unique_ptr<Model> road = loadModel(modelPath("road3/road3.obj"));
    WavingFigure figure;
    CrateCube crate;

    struct Shot {
        const char* name;
        const Model* model;
        mat4 matrix;
        vec3 from, at;
    };
    const mat4 coupeLocal = carLocalTransform(layoutFor(1));
    const mat4 pickupLocal = carLocalTransform(layoutFor(2));
    const Shot shots[] = {
        {"coupe_front", coupe.get(), coupeLocal, vec3(3.0f, 1.0f, -4.2f), vec3(0.0f, -0.5f, 0.0f)},
        {"coupe_side", coupe.get(), coupeLocal, vec3(5.0f, 0.2f, 0.0f), vec3(0.0f, -0.5f, 0.0f)},
        {"coupe_back", coupe.get(), coupeLocal, vec3(-3.2f, 1.4f, 3.8f), vec3(0.0f, -0.5f, 0.0f)},
        {"car3_front", pickup.get(), pickupLocal, vec3(3.0f, 1.0f, -4.2f), vec3(0.0f, -0.4f, 0.0f)},
        {"car3_back", pickup.get(), pickupLocal, vec3(-3.2f, 1.6f, 3.8f), vec3(0.0f, -0.4f, 0.0f)},
    };
    for (const Shot& shot : shots) {
        preview.begin(shot.from, shot.at, 40.0f, 100.0f);
        preview.draw(*shot.model, shot.matrix);
        const float covered = preview.save(shot.name);
        EXPECT_GT(covered, 0.08f) << shot.name;
        EXPECT_LT(covered, 0.9f) << shot.name;
    }
    preview.begin(vec3(1.6f, 1.3f, 2.0f), vec3(0.0f), 40.0f, 100.0f);
    preview.draw(*crate.mesh, mat4(1.0f));
    EXPECT_GT(preview.save("crate"), 0.08f);

    // The figure, drawn as the game draws it: body, then each arm with its
    // hand transform.
    preview.begin(vec3(2.9f, 1.0f, 2.6f), vec3(1.4f, 0.62f, -1.1f), 40.0f, 100.0f);
    preview.draw(*figure.bodyModel, mat4(1.0f));
    preview.draw(*figure.leftHandModel, figure.leftHandTransform);
    preview.draw(*figure.rightHandModel, figure.rightHandTransform);
    EXPECT_GT(preview.save("figure"), 0.08f);

    // The whole road from high above: it is a loop with the drop inside.
    preview.begin(vec3(-126.0f, 420.0f, 8.0f), vec3(-126.0f, 0.0f, 8.0f), 50.0f, 2000.0f,
                  vec3(0.0f, 0.0f, -1.0f));
    preview.draw(*road, roadModelMatrix());
    EXPECT_GT(preview.save("road_overview"), 0.3f);

    // The level as the player sees it, for both layouts: road, crates resting
    // on it (drawn cube 0.4 below the collision box), the figure and the car
    // at rest at the start, under the layout's sky.
    auto level = [&](const char* name, const Model& car, const mat4& carLocal, const char* sky,
                     vec3 from, vec3 at) {
        preview.useSky(sky);
        preview.begin(from, at, 60.0f, 1000.0f);
        preview.draw(*road, roadModelMatrix());
        for (const vec3& p : CRATE_POSITIONS) {
            preview.draw(*crate.mesh, translate(mat4(1.0f), vec3(p.x, 0.18f, p.z)));
        }
        const mat4 standing = translate(mat4(1.0f), vec3(1.1f, -0.04f, -12.0f));
        preview.draw(*figure.bodyModel, standing);
        preview.draw(*figure.leftHandModel, standing * figure.leftHandTransform);
        preview.draw(*figure.rightHandModel, standing * figure.rightHandTransform);
        preview.draw(car, translate(mat4(1.0f), vec3(2.0f, 0.68f, 0.0f)) * carLocal);
        preview.drawSky();
        preview.save(name);
    };
    level("level1_start", *coupe, coupeLocal, "sky1", vec3(2.0f, 1.9f, 5.5f),
          vec3(2.0f, 0.0f, -25.0f));
    level("level2_start", *pickup, pickupLocal, "sky2", vec3(2.0f, 1.9f, 5.5f),
          vec3(2.0f, 0.0f, -25.0f));
    level("level1_hairpin", *coupe, coupeLocal, "sky1", vec3(-20.0f, 14.0f, -10.0f),
          vec3(-44.0f, -2.0f, -60.0f));
    level("level1_edge", *coupe, coupeLocal, "sky1", vec3(-240.0f, 3.0f, -30.0f),
          vec3(-262.0f, -8.0f, 60.0f));
}

// --- The desktop icon ------------------------------------------------------

TEST(AssetIcon, GeneratorWritesTheBuildsIconWithTransparentCornersTheSameTwice) {
    const std::string generator = buildPath("tools/assetgen/vromdash-assetgen");
    ASSERT_TRUE(std::filesystem::exists(generator)) << generator;
    const std::string folder = scratchDirectory("icon");
    const std::string first = folder + "/first.png", second = folder + "/second.png";
    for (const std::string& path : {first, second}) {
        ASSERT_EQ(
            std::system(("\"" + generator + "\" --icon \"" + path + "\" > /dev/null").c_str()), 0);
    }
    const std::vector<char> bytes = fileBytes(first);
    EXPECT_TRUE(bytes == fileBytes(second)) << "the icon differs between runs";
    EXPECT_TRUE(bytes == fileBytes(buildPath("vromdash.png"))) << "build/vromdash.png is stale";
    // PNG colour type 6: the file itself carries an alpha channel.
    ASSERT_GT(bytes.size(), 26u);
    EXPECT_EQ(bytes[25], 6);

    const Image icon(first, IMAGE_RGBA);
    ASSERT_TRUE(icon.loaded());
    ASSERT_EQ(icon.width, 256);
    ASSERT_EQ(icon.height, 256);
    auto alpha = [&icon](int x, int y) { return icon.pixels[(y * icon.width + x) * 4 + 3]; };
    for (const auto& [x, y] : {std::pair{0, 0}, {255, 0}, {0, 255}, {255, 255}, {10, 10}}) {
        EXPECT_EQ(alpha(x, y), 0) << x << ", " << y;
    }
    // Opaque inside, with the rounded edge smoothed: some alpha between.
    int opaque = 0, partial = 0;
    for (int y = 0; y < icon.height; ++y) {
        for (int x = 0; x < icon.width; ++x) {
            opaque += alpha(x, y) == 255 ? 1 : 0;
            partial += alpha(x, y) > 0 && alpha(x, y) < 255 ? 1 : 0;
        }
    }
    EXPECT_GT(opaque, 256 * 256 * 85 / 100);
    EXPECT_GT(partial, 100);
    // Blue sky across the top, not a grey or empty picture.
    const unsigned char* sky = &icon.pixels[(30 * icon.width + 128) * 4];
    EXPECT_GT(sky[2], sky[0] + 80);

    // An unwritable path fails with the generator's message and status 1.
    const int status = std::system(
        ("\"" + generator + "\" --icon \"" + folder + "/missing/icon.png\" > /dev/null").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
}
