// A model file imported through Assimp as a list of meshes with textures.
#pragma once

#include <GL/glew.h>
#include <assimp/material.h>

#include <string>
#include <vector>

#include "gfx/mesh.h"

struct aiMesh;
struct aiNode;
struct aiScene;

// Owns its meshes (and through them their buffers) and every texture it
// loaded; destroying it releases them all. Move-only.
class Model {
public:
    std::vector<Mesh> meshes;
    std::string directory;
    // Every texture loaded, once per path: what the meshes name. The names
    // are owned by ownedTextures, in the same order.
    std::vector<MeshTexture> loadedTextures;
    std::vector<GlTexture> ownedTextures;

    // Imports the file at once. A file that does not import prints
    // "ERROR::ASSIMP:: " and the importer's text and leaves the model empty.
    explicit Model(const char* path);

    // Draws every mesh in order; the caller has made program current.
    void draw(GLuint program) const;

    void loadModel(const std::string& path);
    void processNode(const aiNode* node, const aiScene* scene);
    Mesh processMesh(const aiMesh* mesh, const aiScene* scene);
    std::vector<MeshTexture> loadMaterialTextures(const aiMaterial* material, aiTextureType type,
                                                  const std::string& typeName);
    // Deletes the meshes' GL objects and the loaded textures; safe to call
    // more than once.
    void release();
};
