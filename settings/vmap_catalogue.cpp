#include "settings/vmap_catalogue.h"

#include <cstddef>

namespace sowfield {

vmap_name_node *txuv_maps = nullptr;
vmap_name_node *wght_maps = nullptr;
vmap_name_node *morf_maps = nullptr;
vmap_name_node *mnvw_maps = nullptr;
vmap_name_node *spot_maps = nullptr;

namespace {

const char kNoneChoice[] = "none";

int32_t count_maps(const sf_scene_objects_service *scene, uint32_t type) {
    return scene != nullptr ? scene->count_vmaps(type) : 0;
}

// A host that answers a name with null would end the pop-up list early and
// shift every later index; an empty name keeps the positions aligned.
const char *map_name(const sf_scene_objects_service *scene, uint32_t type, int32_t index) {
    const char *name = scene->vmap_name(type, index);
    return name != nullptr ? name : "";
}

// Appends at the tail, which the caller tracks, so a list is built in one pass.
vmap_name_node **append(vmap_name_node **tail, const char *name) {
    *tail = new vmap_name_node{name, nullptr};
    return &(*tail)->next;
}

}  // namespace

void release_name_list(vmap_name_node *&head) {
    while (head != nullptr) {
        vmap_name_node *next = head->next;
        delete head;
        head = next;
    }
}

vmap_catalogue::vmap_catalogue(sf_edit_session *edit) : session(edit) {}

vmap_catalogue::~vmap_catalogue() { release(); }

void vmap_catalogue::release() { release_name_list(weightmap_names); }

std::vector<const char *> build_weightmap_choices(vmap_catalogue &catalogue, const sf_scene_objects_service *scene) {
    const int32_t n = count_maps(scene, SF_VMAP_WGHT);
    std::vector<const char *> choices;
    if (n < 1) {
        choices = {kNoneChoice, nullptr};
        return choices;
    }
    choices.reserve(static_cast<size_t>(n) + 2);
    choices.push_back(kNoneChoice);
    release_name_list(catalogue.weightmap_names);
    vmap_name_node **tail = &catalogue.weightmap_names;
    for (int32_t i = 0; i < n; ++i) {
        tail = append(tail, map_name(scene, SF_VMAP_WGHT, i));
        choices.push_back(map_name(scene, SF_VMAP_WGHT, i));
    }
    choices.push_back(nullptr);
    return choices;
}

void list_vmaps(const sf_scene_objects_service *scene, uint32_t type, vmap_name_node *&list) {
    const int32_t n = count_maps(scene, type);
    vmap_name_node **tail = &list;
    while (*tail != nullptr) tail = &(*tail)->next;
    for (int32_t i = 0; i < n; ++i) tail = append(tail, map_name(scene, type, i));
}

}  // namespace sowfield
