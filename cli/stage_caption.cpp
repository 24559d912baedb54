#include "cli/stage_caption.h"

#include <unistd.h>

#include <cstdio>

namespace sowfield::cli {

StageCaption::StageCaption(bool wanted, const std::string &text) : shown_(wanted && ::isatty(STDERR_FILENO) == 1) {
    if (!shown_) return;
    std::fprintf(stderr, "%s...", text.c_str());
    std::fflush(stderr);
}

StageCaption::~StageCaption() { end(false); }

void StageCaption::end(bool succeeded) {
    if (!shown_) return;
    shown_ = false;
    std::fputs(succeeded ? " done\n" : " failed\n", stderr);
    std::fflush(stderr);
}

}  // namespace sowfield::cli
