// The host's "LWXPanel" service: modal forms that a plug-in describes with a
// control table, a data table and a hint list. The host owns it like its
// other services; a face (a script, a test, a browser page) answers each
// posted panel as the user would.
//
//     host::Host host(scene);
//     host::ScriptedFace face({{host::PanelAnswer::set("Number of Clones", "12")}});
//     host.panels().set_face(&face);
//     host.run(server);
//     const host::PanelOutcome *outcome = host.panels().last_outcome();
//
// - `last_outcome()` is null when the plug-in stopped before its panel (a
//   failed check on the layers): there is nothing to show or save.
// - Without a face, every panel is accepted as the plug-in set it.
// - Misuse (a handle this service did not hand out or already destroyed, a
//   value for an unknown control, a malformed table or hint list) goes to the
//   host's contract log; the call is refused, and a malformed panel is not
//   shown (panel_post answers Cancel).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/panel/panel_face.h"
#include "host/panel/panel_snapshot.h"
#include "host/services/contract_log.h"
#include "host/services/current.h"
#include "sowfield_host.h"

namespace sowfield::host {

class PanelService : public Current<PanelService> {
public:
    explicit PanelService(ContractLog &log);
    ~PanelService();
    PanelService(const PanelService &) = delete;
    PanelService &operator=(const PanelService &) = delete;

    // The C record to hand out as "LWXPanel". Its functions act on the
    // service made current on the calling thread by a Scope; without one,
    // panel_create gives null and the other functions do nothing.
    static const sf_panel_service *table();

    // The face that answers the panels posted from now on; null accepts them
    // as the plug-in set them. Not owned.
    void set_face(PanelFace *face) { face_ = face; }

    // The outcome of the last panel_post since reset(), or null.
    const PanelOutcome *last_outcome() const { return last_outcome_.get(); }
    int post_count() const { return post_count_; }
    // Panels created and not yet destroyed.
    int open_panel_count() const;

    // Forgets the last outcome and the post count (a new run begins).
    void reset();

    // Implementation; reached from the C functions of table().
    struct Panel;

private:
    friend struct PanelCalls;

    ContractLog &log_;
    PanelFace *face_ = nullptr;
    std::vector<std::unique_ptr<Panel>> panels_;
    std::unique_ptr<PanelOutcome> last_outcome_;
    int post_count_ = 0;
};

}  // namespace sowfield::host
