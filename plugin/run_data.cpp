#include "plugin/run_data.h"

#include "clone/geometry_copy.h"
#include "settings/vmap_catalogue.h"
#include "surface/polygon_weight.h"
#include "surface/site_distribution.h"
#include "surface/target_polygons.h"

namespace sowfield {

void release_run_data() {
    target_polygons.reset();
    target_capacity = 0;
    target_count = 0;
    release_site_list();
    release_point_map();
    release_name_list(txuv_maps);
    release_name_list(wght_maps);
    release_name_list(morf_maps);
    release_name_list(mnvw_maps);
    release_name_list(spot_maps);
    size_weights.reset();
}

}  // namespace sowfield
