#include "cli/view/view_session.h"

#include <algorithm>
#include <future>

#include "cli/view/mesh_payload.h"
#include "cli/view/save_target.h"
#include "sowfield_host.h"

namespace sowfield::cli::view {
namespace {

namespace fs = std::filesystem;

// A result of a few hundred thousand triangles still orbits smoothly; beyond
// that the page gets an even sample of whole clones.
constexpr uint64_t kCloneTriangleBudget = 400'000;

// The centre of the layer's bounding box: positions are sent relative to it,
// so that single precision keeps the detail of a scene far from the origin.
host::Vec3 centre_of(const host::Layer &layer) {
    if (layer.point_count() == 0) return {0, 0, 0};
    host::Vec3 low = layer.position(0), high = low;
    for (uint32_t p = 1; p < layer.point_count(); ++p)
        for (int axis = 0; axis < 3; ++axis) {
            low[axis] = std::min(low[axis], layer.position(p)[axis]);
            high[axis] = std::max(high[axis], layer.position(p)[axis]);
        }
    return {(low[0] + high[0]) / 2, (low[1] + high[1]) / 2, (low[2] + high[2]) / 2};
}

// The weight map that tells the clones apart: one the run made up itself
// (created by the run, with a value on the first added point, and not
// copied from an object's layer, as a weight map of the objects would be).
const host::VertexMap *clone_colouring(const host::Scene &scene, size_t maps_before, uint32_t first_point) {
    const host::Layer &layer = scene.layer(scene.foreground.front());
    if (first_point >= layer.point_count()) return nullptr;
    const auto copied = [&](const host::VertexMap &map) {
        return std::any_of(scene.background.begin(), scene.background.end(), [&](size_t object) {
            return scene.layer(object).find_vmap(map.type(), map.name()) != nullptr;
        });
    };
    for (size_t m = maps_before; m < layer.vmap_count(); ++m) {
        const host::VertexMap &map = layer.vmap(m);
        if (map.type() == SF_VMAP_WGHT && map.has_value(first_point) && !copied(map)) return &map;
    }
    return nullptr;
}

nlohmann::json names(const std::vector<fs::path> &paths) {
    nlohmann::json list = nlohmann::json::array();
    for (const fs::path &path : paths) list.push_back(path.filename().string());
    return list;
}

}  // namespace

ViewSession::ViewSession(host::Scene &scene, ViewFiles files, RunPlugin run_plugin,
                         std::function<std::string(const host::PanelSnapshot &)> check_ok)
    : scene_(scene),
      files_(std::move(files)),
      run_plugin_(std::move(run_plugin)),
      face_(std::move(check_ok), [this] {
          std::lock_guard lock(mutex_);
          changed();
      }) {
    const host::Layer &surface = scene_.layer(scene_.foreground.front());
    origin_ = centre_of(surface);
    base_points_ = surface.point_count();
    base_polygons_ = surface.polygon_count();
    base_maps_ = surface.vmap_count();
    base_surfaces_ = scene_.surface_count();
    meshes_["surface"] = std::make_shared<const std::string>(
        encode_mesh(surface, {0, base_polygons_, 1, 1}, origin_, nullptr));
    meshes_["objects"] = std::make_shared<const std::string>(encode_layers(scene_, scene_.background, origin_));
    meshes_["clones"] = std::make_shared<const std::string>(encode_layers(scene_, {}, origin_));
}

ViewSession::~ViewSession() {
    quit();
    if (worker_.joinable()) worker_.join();
}

void ViewSession::start() {
    worker_ = std::thread([this] { work(); });
    request_run();
}

void ViewSession::changed() {
    ++version_;
    wake_.notify_all();
}

bool ViewSession::submit(const char *kind, std::function<void()> job) {
    std::lock_guard lock(mutex_);
    if (busy_ != nullptr || quitting_) return false;
    busy_ = kind;
    job_ = std::move(job);
    changed();
    return true;
}

void ViewSession::work() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return quitting_ || job_; });
            if (!job_) return;
            job = std::move(job_);
            job_ = nullptr;
        }
        std::string failure;
        try {
            job();
        } catch (const std::exception &error) {
            failure = error.what();
        }
        std::lock_guard lock(mutex_);
        // A run that threw (out of memory, say) still ends with a result the
        // page shows; the server goes on serving.
        if (!failure.empty()) result_ = {{"run", runs_}, {"ok", false}, {"line", ""}, {"error", "the run failed: " + failure},
                                         {"messages", nlohmann::json::array()}, {"clones", nullptr}};
        busy_ = nullptr;
        changed();
    }
}

bool ViewSession::request_run() {
    return submit("running", [this] { run_job(); });
}

void ViewSession::restore_scene() {
    host::Layer &surface = scene_.layer(scene_.foreground.front());
    surface.truncate(base_points_, base_polygons_);
    surface.truncate_vmaps(base_maps_);
    scene_.truncate_surfaces(base_surfaces_);
}

void ViewSession::run_job() {
    restore_scene();
    {
        std::lock_guard lock(mutex_);
        ++runs_;
        progress_.clear();
        result_ = nullptr;
        saved_ = nullptr;
        meshes_["clones"] = std::make_shared<const std::string>(encode_layers(scene_, {}, origin_));
        changed();
    }
    const auto show_progress = [this](const std::vector<ProgressBar> &bars) {
        std::lock_guard lock(mutex_);
        progress_ = bars;
        changed();
    };
    const RunReport report = run_plugin_(scene_, face_, show_progress);

    const host::Layer &surface = scene_.layer(scene_.foreground.front());
    const PolygonSelection selection = sample_clones(surface, base_polygons_, report.clones, kCloneTriangleBudget);
    const host::VertexMap *colouring = clone_colouring(scene_, base_maps_, base_points_);
    auto clones = std::make_shared<const std::string>(encode_mesh(surface, selection, origin_, colouring));
    const uint64_t kept = groups_kept(selection);
    const bool whole_clones = selection.group_size > 1 || report.clones == int64_t(selection.end - selection.first);

    std::lock_guard lock(mutex_);
    meshes_["clones"] = std::move(clones);
    if (!report.settings.empty()) accepted_settings_ = report.settings;
    result_ = {{"run", runs_},
               {"ok", report.ok},
               {"line", report.ok ? report.line : ""},
               {"error", report.ok ? "" : report.line},
               {"messages", report.messages},
               {"seconds", {{"read", files_.read_seconds}, {"run", report.seconds}}},
               {"clones",
                {{"total", selection.end > selection.first ? report.clones : 0},
                 {"shown", whole_clones ? kept : 0},
                 {"sampled", selection.keep_every > 1},
                 {"colour_by", colouring != nullptr ? nlohmann::json(colouring->name()) : nlohmann::json()}}}};
    changed();
}

nlohmann::json ViewSession::save(const std::string &name) {
    auto promise = std::make_shared<std::promise<nlohmann::json>>();
    std::future<nlohmann::json> reply = promise->get_future();
    if (!submit("saving", [this, name, promise] { promise->set_value(save_job(name)); }))
        return {{"error", "busy: the panel is open or a run or save is under way"}, {"busy", true}};
    return reply.get();
}

nlohmann::json ViewSession::save_job(const std::string &name) {
    nlohmann::json outcome;
    {
        std::lock_guard lock(mutex_);
        if (result_.is_null() || !result_["ok"].get<bool>()) outcome = {{"error", "there is no result to save yet"}};
    }
    if (outcome.is_null()) {
        std::string settings;
        {
            std::lock_guard lock(mutex_);
            settings = accepted_settings_;
        }
        outcome = save_result(scene_, files_, name, base_points_, base_polygons_, settings);
    }
    std::lock_guard lock(mutex_);
    saved_ = outcome.contains("error") ? nlohmann::json{{"ok", false}, {"error", outcome["error"]}}
                                       : nlohmann::json{{"ok", true}, {"line", outcome["line"]}};
    return outcome;
}

PanelReply ViewSession::panel_actions(std::vector<PanelAction> actions) {
    return face_.act(std::move(actions), std::chrono::seconds(30));
}

std::optional<std::string> ViewSession::settings_file() {
    if (std::optional<std::string> open = face_.open_settings()) return open;
    std::lock_guard lock(mutex_);
    if (accepted_settings_.empty()) return std::nullopt;
    return accepted_settings_;
}

nlohmann::json ViewSession::state(int64_t since, std::chrono::milliseconds patience) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, patience, [&] { return version_ > since || quitting_; });
    std::optional<nlohmann::json> panel = face_.open_panel();
    nlohmann::json bars = nlohmann::json::array();
    for (const ProgressBar &bar : progress_)
        bars.push_back({{"title", bar.title}, {"caption", bar.caption}, {"done", bar.done}, {"total", bar.total}});
    return {{"version", version_},
            {"busy", busy_ != nullptr},
            {"phase", busy_ == nullptr ? "idle" : panel ? "panel" : busy_},
            {"closing", quitting_},
            {"files",
             {{"surface", files_.surface.filename().string()},
              {"objects", names(files_.objects)},
              {"output", files_.output ? nlohmann::json(files_.output->filename().string()) : nlohmann::json()}}},
            {"panel", panel ? *panel : nlohmann::json()},
            {"progress", bars},
            {"result", result_},
            {"save", saved_}};
}

std::shared_ptr<const std::string> ViewSession::mesh(std::string_view part) const {
    std::lock_guard lock(mutex_);
    const auto found = meshes_.find(part);
    return found == meshes_.end() ? nullptr : found->second;
}

void ViewSession::quit() {
    face_.close();
    std::lock_guard lock(mutex_);
    quitting_ = true;
    changed();
}

void ViewSession::wait_for_quit() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [&] { return quitting_; });
}

}  // namespace sowfield::cli::view
