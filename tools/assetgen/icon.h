// The desktop icon: a red car pushing a crate off the edge of a road that
// floats in the sky, on a rounded square with transparent corners.
#pragma once

#include <string>

#include "tools/assetgen/image.h"

constexpr int ICON_SIZE = 256;

// ICON_SIZE x ICON_SIZE, four channels (straight alpha), the same pixels on
// every run.
Bitmap makeIcon();
// Writes makeIcon() as a PNG; false when the file cannot be written.
bool writeIcon(const std::string& path);
