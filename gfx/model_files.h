// The files the model importer may open. It opens the model and the
// material files the model names by path and reads them whole, so a named
// pipe would block it for ever and a huge file would take all memory.
#pragma once

#include <assimp/DefaultIOSystem.h>

// Model and material files above this size are refused: forty times the
// largest model the game makes. The importer holds about 25 times a file's
// size while it reads it.
constexpr long long MAX_MODEL_FILE_BYTES = 16ll << 20;

// The importer's own file access, for regular files up to
// MAX_MODEL_FILE_BYTES only; anything else does not exist for it.
class ModelFiles : public Assimp::DefaultIOSystem {
public:
    bool Exists(const char* path) const override;
    Assimp::IOStream* Open(const char* path, const char* mode = "rb") override;
};
