// "Scene Objects 6": the names of the scene's vertex maps of one type.
//
// The list is the union over all layers by (type, name): layers in scene
// order, each layer's maps in creation order, a name listed once where it
// first appears. Names handed out stay valid until the service is reset (the
// host resets it between activations), even when the list is rebuilt because
// the plug-in created maps meanwhile.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "host/scene/scene.h"
#include "host/services/current.h"
#include "sowfield_host.h"

namespace sowfield::host {

class SceneObjectsService : public Current<SceneObjectsService> {
public:
    explicit SceneObjectsService(const Scene &scene);

    // The C record to hand out; its functions act on the current instance
    // and answer 0 / null outside a Scope.
    static const sf_scene_objects_service *table();

    // Rebuilds the list of `type` from the scene and returns its length.
    int32_t count_vmaps(uint32_t type);
    // Name `index` of the list last built for `type` (built now if never),
    // or null when out of range.
    const char *vmap_name(uint32_t type, int32_t index);

    // Forgets every name handed out.
    void reset();

private:
    const char *stable_name(const std::string &name);

    const Scene &scene_;
    std::deque<std::string> storage_;                       // never moves what it holds
    std::map<std::string, const char *, std::less<>> interned_;
    std::map<uint32_t, std::vector<const char *>> lists_;
};

}  // namespace sowfield::host
