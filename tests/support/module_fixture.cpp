#include "tests/support/module_fixture.h"

namespace sowfield::testing {

std::filesystem::path module_path() { return SOWFIELD_MODULE_PATH; }

ModuleTest::ModuleTest()
    : library(host::PluginLibrary::open(module_path())),
      host(world.scene, {.strict = true, .info_out = &info_text, .error_out = &error_text}) {}

int ModuleTest::run() { return host.run(library.server(SF_MESH_EDIT_CLASS, "Sowfield")); }

void ModuleTest::answer(Values values, bool accept) {
    face.emplace([values = std::move(values), accept](host::RawPanel &panel) {
        for (const auto &[label, value] : values) EXPECT_TRUE(panel.set_value(label, value)) << label;
        return accept;
    });
    host.panels().set_face(&*face);
}

const host::PanelSnapshot *ModuleTest::last_opening() const {
    const host::PanelOutcome *outcome = host.panels().last_outcome();
    return outcome != nullptr ? &outcome->opening : nullptr;
}

std::vector<Lines> ModuleTest::errors() const {
    std::vector<Lines> lines;
    for (const host::Message &message : host.messages())
        if (message.kind == host::Message::Kind::error) lines.emplace_back(message.line1, message.line2);
    return lines;
}

}  // namespace sowfield::testing
