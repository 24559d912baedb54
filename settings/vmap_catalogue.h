// The scene's vertex maps as a run sees them: the weight-map choices of the
// panel's pop-ups, the catalogue that turns a pop-up index back into a name,
// and one name list per vertex-map type that the clones carry over.
#pragma once

#include <cstdint>
#include <vector>

#include "sowfield_host.h"

namespace sowfield {

// One node of a singly linked list of the host's map names (not owned).
struct vmap_name_node {
    const char *name = nullptr;
    vmap_name_node *next = nullptr;
};

// Releases a whole list, node by node (iteratively: lists can be long), and
// sets the head to null. Safe on an empty list.
void release_name_list(vmap_name_node *&head);

class vmap_catalogue {
public:
    explicit vmap_catalogue(sf_edit_session *edit);
    ~vmap_catalogue();
    vmap_catalogue(const vmap_catalogue &) = delete;
    vmap_catalogue &operator=(const vmap_catalogue &) = delete;

    // Releases the weight-map name list; the list becomes empty.
    void release();

    vmap_name_node *weightmap_names = nullptr;  // owned; the scene's "WGHT" maps, host order
    sf_edit_session *session;                   // not owned
};

// "none", then the scene's weight-map names in the host's order, then a null
// entry that ends the list. Fills the catalogue's `weightmap_names` alike.
std::vector<const char *> build_weightmap_choices(vmap_catalogue &catalogue, const sf_scene_objects_service *scene);

// Appends every map of `type` to `list` (empty on entry), in the host's order.
void list_vmaps(const sf_scene_objects_service *scene, uint32_t type, vmap_name_node *&list);

// The names of the scene's maps of the five types the clones carry over.
// Empty before a run and after release_run_data.
extern vmap_name_node *txuv_maps;
extern vmap_name_node *wght_maps;
extern vmap_name_node *morf_maps;
extern vmap_name_node *mnvw_maps;
extern vmap_name_node *spot_maps;

}  // namespace sowfield
