// One `sowfield view` session: the scene as read, the plug-in, and the run
// thread on which every run (and every write of the scene) happens. The
// server's threads only ask: start a run, act on the open panel, save, read
// the state. One job at a time; another request meanwhile is answered busy.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/view/browser_face.h"
#include "host/scene/scene.h"

namespace sowfield::cli::view {

// The files of the session, as the command line named them.
struct ViewFiles {
    std::filesystem::path surface;
    std::vector<std::filesystem::path> objects;
    std::optional<std::filesystem::path> output;  // -o; Save's default name and folder
    bool clones_only = false;
    double read_seconds = 0.0;
    int64_t clock = 0;  // the calendar time the plug-in read as it loaded
};

// One progress monitor as the page shows it.
struct ProgressBar {
    std::string title;
    std::string caption;
    int64_t done = 0;
    int64_t total = 0;
};

// What a run gives the session; see RunPlugin.
struct RunReport {
    bool ok = false;
    std::string line;   // the tool's result line, or the failure's message
    int64_t clones = 0;
    std::vector<nlohmann::json> messages;  // {"kind", "line1", "line2"}
    double seconds = 0.0;
    std::string settings;  // the accepted settings as a settings file, when accepted
};

// Runs the plug-in once over the scene with `face` answering its panel and
// `progress` told of every monitor change; called on the run thread.
using RunPlugin = std::function<RunReport(host::Scene &scene, BrowserFace &face,
                                          const std::function<void(const std::vector<ProgressBar> &)> &progress)>;

class ViewSession {
public:
    ViewSession(host::Scene &scene, ViewFiles files, RunPlugin run_plugin,
                std::function<std::string(const host::PanelSnapshot &)> check_ok);
    ~ViewSession();
    ViewSession(const ViewSession &) = delete;
    ViewSession &operator=(const ViewSession &) = delete;

    // Starts the run thread and the first run.
    void start();

    // Server threads. False when a job is under way.
    bool request_run();
    // {"error": ...} or {"line": ...}; "busy" while a job is under way.
    nlohmann::json save(const std::string &name);
    PanelReply panel_actions(std::vector<PanelAction> actions);
    // The open panel's values, else the last accepted ones, as a settings file.
    std::optional<std::string> settings_file();
    // The state once its version is past `since`, or after `patience`.
    nlohmann::json state(int64_t since, std::chrono::milliseconds patience);
    // A mesh payload: "surface", "objects" or "clones"; null for another name.
    std::shared_ptr<const std::string> mesh(std::string_view part) const;

    // Ends the session: the open panel is cancelled, the state says so.
    void quit();
    // Waits until quit() was called.
    void wait_for_quit();

private:
    bool submit(const char *kind, std::function<void()> job);
    void work();
    void run_job();
    nlohmann::json save_job(const std::string &name);
    void restore_scene();
    void changed();  // with the lock held: a new version of the state

    host::Scene &scene_;
    ViewFiles files_;
    RunPlugin run_plugin_;
    BrowserFace face_;
    host::Vec3 origin_{};
    // The foreground layer as read, to go back to before each run.
    uint32_t base_points_ = 0;
    uint32_t base_polygons_ = 0;
    size_t base_maps_ = 0;
    uint32_t base_surfaces_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::function<void()> job_;
    const char *busy_ = nullptr;  // the job under way: "running" or "saving"
    bool quitting_ = false;
    int64_t version_ = 0;
    int runs_ = 0;
    std::vector<ProgressBar> progress_;
    nlohmann::json result_;  // null before the first run ends
    nlohmann::json saved_;   // the last Save's outcome
    std::string accepted_settings_;
    std::map<std::string, std::shared_ptr<const std::string>, std::less<>> meshes_;
    std::thread worker_;
};

}  // namespace sowfield::cli::view
