// A caption on standard error for a stage the host does on its own, beside
// the plug-in's progress bars: "Reading ground.obj... done". Shown only on a
// terminal and when progress is wanted; the plug-in's monitors keep the
// captions the plug-in gives them.
#pragma once

#include <string>

namespace sowfield::cli {

class StageCaption {
public:
    // Shows "<text>..." when `wanted` and standard error is a terminal.
    StageCaption(bool wanted, const std::string &text);
    // Ends the line as failed, unless end() did already.
    ~StageCaption();
    StageCaption(const StageCaption &) = delete;
    StageCaption &operator=(const StageCaption &) = delete;

    // Ends the line with " done" or " failed" (before any message about why).
    void end(bool succeeded);

private:
    bool shown_ = false;
};

}  // namespace sowfield::cli
