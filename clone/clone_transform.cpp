#include "clone/clone_transform.h"

namespace sowfield {

clone_state_typ clone_state;
const clone_site *current_site = nullptr;

void draw_clone_transform(const params_typ &) {}
Point transform_point(const Point &p, const params_typ &) { return p; }

}  // namespace sowfield
