// A face that sets stored values directly, bypassing display texts and enable
// rules: for tests, benchmarks and fuzzing that give the plug-in values no
// user could type.
#pragma once

#include <functional>
#include <string_view>

#include "host/panel/panel_face.h"

namespace sowfield::host {

// The open panel with raw access; the panel service's posted panels are such.
class RawPanel : public OpenPanel {
public:
    // Stores `value` in the value control of this label (exact case). False,
    // and nothing changed, when there is no such control or it holds the
    // other kind.
    virtual bool set_value(std::string_view label, PanelValue value) = 0;

protected:
    ~RawPanel() = default;
};

class RawValuesFace : public PanelFace {
public:
    // `answer` acts on the posted panel as the user would; false cancels it.
    using Answer = std::function<bool(RawPanel &)>;
    explicit RawValuesFace(Answer answer) : answer_(std::move(answer)) {}

    bool answer(OpenPanel &panel) override;

private:
    Answer answer_;
};

}  // namespace sowfield::host
