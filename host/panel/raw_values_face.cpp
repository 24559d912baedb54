#include "host/panel/raw_values_face.h"

namespace sowfield::host {

bool RawValuesFace::answer(OpenPanel &panel) {
    // The panel service posts only RawPanels; another open panel is cancelled.
    auto *raw = dynamic_cast<RawPanel *>(&panel);
    return raw != nullptr && answer_(*raw);
}

}  // namespace sowfield::host
