#include "gfx/model_files.h"

#include <sys/stat.h>

namespace {

bool readableModelFile(const char* path) {
    struct stat info {};
    return path && stat(path, &info) == 0 && S_ISREG(info.st_mode) &&
           info.st_size <= MAX_MODEL_FILE_BYTES;
}

}  // namespace

bool ModelFiles::Exists(const char* path) const {
    return readableModelFile(path);
}

Assimp::IOStream* ModelFiles::Open(const char* path, const char* mode) {
    return readableModelFile(path) ? DefaultIOSystem::Open(path, mode) : nullptr;
}
