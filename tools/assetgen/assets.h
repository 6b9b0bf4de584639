// Everything under Vrom2/model, written by one call.
#pragma once

#include <string>

// Writes every model, texture, the heightmap and both skies below `root`
// (e.g. "Vrom2/model"), creating the folders. Reports each file it cannot
// write on standard output and returns false if there was any.
bool generateAssets(const std::string& root);
