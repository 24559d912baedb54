// The images of looks written as files beside an output file (an OBJ's
// textures; any format that refers to images by file name). Each image gets
// a plain file name from its own name or file name (letters, digits, '.',
// '-' and '_', at most 100 before the extension; the extension of its
// type), unique in the folder among what
// this output writes, and is written as a companion of the output, so that
// it appears with the output or not at all. A file of that name already
// there is never overwritten: when it holds the same bytes it is used as it
// is, otherwise the image takes another name ("grass-2.png").
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/scene/surface_look.h"
#include "io/atomic_file.h"

namespace sowfield::io::detail {

// "image/png", "image/jpeg", "image/webp" or "image/ktx2" from the first
// bytes of an image; empty when none of these.
std::string image_mime_type(const std::vector<unsigned char> &bytes);

class LookImageFiles {
public:
    // `reserved`: names in the output's folder that the output itself writes
    // (the output and its other companions).
    LookImageFiles(AtomicFile &out, std::set<std::string> reserved);

    // The file name (in the output's folder) of `image`, written once.
    std::string file_for(const std::shared_ptr<const host::LookImage> &image);

private:
    AtomicFile &out_;
    std::set<std::string> taken_;  // lower case
    std::map<const host::LookImage *, std::string> named_;
    std::map<std::string, std::string> by_content_;  // name + bytes -> file name
};

// The plain file name an image is given before it is made unique.
std::string plain_image_file_name(const host::LookImage &image);

}  // namespace sowfield::io::detail
