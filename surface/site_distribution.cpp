#include "surface/site_distribution.h"

namespace sowfield {

clone_site *site_list = nullptr;
double mean_area = 0.0;

void distribute_sites(const vmap_catalogue &, const params_typ &) {}

void release_site_list() {
    while (site_list != nullptr) {
        clone_site *next = site_list->next;
        delete site_list;
        site_list = next;
    }
}

}  // namespace sowfield
