#include "gfx/model.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <assimp/Importer.hpp>
#include <iostream>
#include <string>
#include <utility>

#include "gfx/model_files.h"
#include "gfx/texture.h"

Model::Model(const char* path) {
    loadModel(path ? path : "");
}

void Model::release() {
    meshes.clear();  // each mesh deletes its own vertex array and buffers
    loadedTextures.clear();
    ownedTextures.clear();
}

void Model::draw(GLuint program) const {
    for (const Mesh& mesh : meshes) {
        mesh.draw(program);
    }
}

namespace {

// Triangulating a face costs the importer about the square of its corners;
// a file of a few megabytes can hold one face of millions. The game's own
// models have triangles and quads.
constexpr unsigned long long MAX_TRIANGULATION_WORK = 1ull << 26;

// Why the scene's faces cannot be triangulated in reasonable time, or "".
std::string tooManyCorners(const aiScene* scene) {
    unsigned long long work = 0;
    unsigned largest = 0;
    for (unsigned int m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh* mesh = scene->mMeshes[m];
        for (unsigned int f = 0; mesh && f < mesh->mNumFaces; ++f) {
            const unsigned corners = mesh->mFaces[f].mNumIndices;
            work += static_cast<unsigned long long>(corners) * corners;
            largest = corners > largest ? corners : largest;
        }
    }
    if (work <= MAX_TRIANGULATION_WORK) {
        return "";
    }
    return "faces with too many corners to triangulate (" + std::to_string(largest) +
           " in the largest)";
}

}  // namespace

void Model::loadModel(const std::string& path) {
    Assimp::Importer importer;
    importer.SetIOHandler(new ModelFiles);  // the importer owns it
    // Read first, triangulate once the faces are known to be sane.
    const aiScene* scene = importer.ReadFile(path, 0);
    std::string problem;
    if (scene) {
        problem = tooManyCorners(scene);
        if (problem.empty()) {
            scene = importer.ApplyPostProcessing(aiProcess_Triangulate | aiProcess_FlipUVs);
        }
    }
    if (!problem.empty() || !scene || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) ||
        !scene->mRootNode) {
        std::cout << "ERROR::ASSIMP:: " << (problem.empty() ? importer.GetErrorString() : problem)
                  << std::endl;
        return;
    }
    const std::string::size_type slash = path.find_last_of('/');
    directory = slash == std::string::npos ? path : path.substr(0, slash);
    processNode(scene->mRootNode, scene);
}

void Model::processNode(const aiNode* node, const aiScene* scene) {
    // Node transforms are deliberately ignored: the models are authored in
    // their final frame.
    for (unsigned int i = 0; i < node->mNumMeshes; ++i) {
        const unsigned int meshIndex = node->mMeshes[i];
        if (meshIndex < scene->mNumMeshes) {
            meshes.push_back(processMesh(scene->mMeshes[meshIndex], scene));
        }
    }
    for (unsigned int i = 0; i < node->mNumChildren; ++i) {
        processNode(node->mChildren[i], scene);
    }
}

Mesh Model::processMesh(const aiMesh* mesh, const aiScene* scene) {
    std::vector<Vertex> vertices;
    vertices.reserve(mesh->mNumVertices);
    const aiVector3D* uvs = mesh->mTextureCoords[0];
    for (unsigned int i = 0; i < mesh->mNumVertices; ++i) {
        Vertex vertex{vec3(0.0f), vec3(0.0f), glm::vec2(0.0f)};
        if (mesh->mVertices) {
            const aiVector3D& p = mesh->mVertices[i];
            vertex.position = vec3(p.x, p.y, p.z);
        }
        if (mesh->mNormals) {  // a file without normals still loads, with zero normals
            const aiVector3D& n = mesh->mNormals[i];
            vertex.normal = vec3(n.x, n.y, n.z);
        }
        if (uvs) {
            vertex.texCoords = glm::vec2(uvs[i].x, uvs[i].y);
        }
        vertices.push_back(vertex);
    }

    std::vector<unsigned int> indices;
    for (unsigned int f = 0; f < mesh->mNumFaces; ++f) {
        const aiFace& face = mesh->mFaces[f];
        indices.insert(indices.end(), face.mIndices, face.mIndices + face.mNumIndices);
    }

    std::vector<MeshTexture> textures;
    if (mesh->mMaterialIndex < scene->mNumMaterials) {
        const aiMaterial* material = scene->mMaterials[mesh->mMaterialIndex];
        for (auto [type, name] : {std::pair{aiTextureType_DIFFUSE, "texture_diffuse"},
                                  std::pair{aiTextureType_SPECULAR, "texture_specular"},
                                  std::pair{aiTextureType_AMBIENT, "texture_reflection"}}) {
            std::vector<MeshTexture> found = loadMaterialTextures(material, type, name);
            textures.insert(textures.end(), found.begin(), found.end());
        }
    }
    return Mesh(std::move(vertices), std::move(indices), std::move(textures));
}

std::vector<MeshTexture> Model::loadMaterialTextures(const aiMaterial* material, aiTextureType type,
                                                     const std::string& typeName) {
    std::vector<MeshTexture> result;
    for (unsigned int i = 0; i < aiGetMaterialTextureCount(material, type); ++i) {
        aiString path;
        aiGetMaterialTexture(material, type, i, &path);
        bool cached = false;
        for (const MeshTexture& loaded : loadedTextures) {
            if (loaded.path == path) {
                // Reused with the type it was first loaded as.
                result.push_back(loaded);
                cached = true;
                break;
            }
        }
        if (!cached) {
            GlTexture owned = loadTextureFromFile(path.C_Str(), directory);
            MeshTexture texture;
            texture.id = owned.get();
            texture.type = typeName;
            texture.path = path;
            result.push_back(texture);
            loadedTextures.push_back(texture);
            ownedTextures.push_back(std::move(owned));
        }
    }
    return result;
}
