// pwhost's "picture" commands: search one image in another, compare two images, convert an
// image, through the picture object's script methods (called late-bound) and the host's image
// formats.
//
//   pwhost picture find IMAGE NEEDLE [--left N] [--top N] [--transparent] [--pixels N]
//                       [--colors N] [--mask FILE]
//   pwhost picture compare A B [--transparent] [--pixels N] [--colors N] [--mask FILE] [--diff OUT]
//   pwhost picture convert IN OUT [--rect X,Y,W,H] [--size WxH] [--stretch WxH [--halftone]]
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace pw::host {

// `args` are the words after "picture"; `modulePath` the module whose type library describes
// the rectangles Find gives. Answers the exit code: 0 found, equal or done; 1 not found,
// different or failed; 2 misused.
int RunPictureCommand(const std::vector<std::string>& args, const std::string& modulePath, std::FILE* out,
                      std::FILE* err);

extern const char* const kPictureUsage;

}  // namespace pw::host
