#pragma once
// assets: the reader's background picture and icon, compiled into the program.
//   ":/talvorin/background.jpg"  progressive JPEG, 1000 x 768
//   ":/talvorin/talvorin.ico"    96, 72, 64, 48, 32 and 16 pixels, 24-bit and 8-bit each
// Both are drawn by make_assets (make_assets.cpp in this folder); the build target
// update_assets draws them again into this folder.

namespace assets {

// Registers the resources of the static library; call once before using the paths.
void initAssets();

}  // namespace assets
