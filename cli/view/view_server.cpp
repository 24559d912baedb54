#include "cli/view/view_server.h"

#include <httplib.h>

#include <algorithm>
#include <stdexcept>

#include "cli/setting_names.h"
#include "cli/view/request_guard.h"

namespace sowfield::cli::view {
namespace {

// Every answer: no caching, no framing, no sniffing, scripts only from here.
const httplib::Headers kSafetyHeaders{
    {"Content-Security-Policy",
     "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data: blob:; connect-src 'self'; "
     "frame-ancestors 'none'; base-uri 'none'; form-action 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
    {"Cross-Origin-Resource-Policy", "same-origin"},
    {"Cache-Control", "no-store"},
};

constexpr size_t kMaxRequestBody = 1 << 20;  // a settings file or a few panel actions
constexpr int kServerThreads = 24;           // the page's connections plus long polls
constexpr auto kStatePatience = std::chrono::seconds(10);

// Sends the bytes as they are. The library would compress a plain body
// for a browser that accepts it, with brotli at its slowest setting (9 s for
// three.js on this machine); a sized content provider goes out uncompressed,
// as befits a server on the same machine.
void send_bytes(httplib::Response &response, std::shared_ptr<const std::string> bytes, const std::string &type) {
    const size_t size = bytes->size();
    response.set_content_provider(size, type, [bytes](size_t offset, size_t length, httplib::DataSink &sink) {
        return sink.write(bytes->data() + offset, std::min(length, bytes->size() - offset));
    });
}

void send_json(httplib::Response &response, const nlohmann::json &body, int status = 200) {
    response.status = status;
    send_bytes(response, std::make_shared<const std::string>(body.dump()), "application/json");
}

void send_error(httplib::Response &response, int status, const std::string &message) {
    send_json(response, {{"error", message}}, status);
}

// The body as a JSON object, or nothing (after answering 400).
std::optional<nlohmann::json> json_body(const httplib::Request &request, httplib::Response &response) {
    nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        send_error(response, 400, "expected a JSON object");
        return std::nullopt;
    }
    return body;
}

std::string text_field(const nlohmann::json &object, const char *key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string{};
}

// {"actions": [{"kind": "set"|"press"|"ok"|"cancel", "label", "value"}]}
std::optional<std::vector<PanelAction>> panel_actions(const nlohmann::json &body) {
    static const std::map<std::string, PanelAction::Kind, std::less<>> kinds{
        {"set", PanelAction::Kind::set}, {"press", PanelAction::Kind::press},
        {"ok", PanelAction::Kind::ok},   {"cancel", PanelAction::Kind::cancel}};
    const auto list = body.find("actions");
    if (list == body.end() || !list->is_array()) return std::nullopt;
    std::vector<PanelAction> actions;
    for (const nlohmann::json &item : *list) {
        if (!item.is_object()) return std::nullopt;
        const auto kind = kinds.find(text_field(item, "kind"));
        if (kind == kinds.end()) return std::nullopt;
        actions.push_back({kind->second, text_field(item, "label"), text_field(item, "value")});
    }
    return actions;
}

void send_panel_reply(httplib::Response &response, const PanelReply &reply) {
    nlohmann::json body{{"panel", reply.panel}};
    if (!reply.error.empty()) body["error"] = reply.error;
    send_json(response, body, reply.open ? 200 : 409);
}

}  // namespace

struct ViewServer::Routes {
    ViewSession &session;
    WebFiles files;
    httplib::Server server;

    Routes(ViewSession &s, WebFiles f) : session(s), files(std::move(f)) {}
};

ViewServer::ViewServer(ViewSession &session, WebFiles files, std::string token)
    : routes_(std::make_unique<Routes>(session, std::move(files))), token_(std::move(token)) {
    httplib::Server &server = routes_->server;
    server.new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
    server.set_payload_max_length(kMaxRequestBody);
    server.set_read_timeout(10);
    // Short, so that Quit does not wait for the browser's idle connections.
    server.set_keep_alive_timeout(1);
    server.set_write_timeout(30);
    server.set_default_headers(kSafetyHeaders);

    server.set_pre_routing_handler([this](const httplib::Request &request, httplib::Response &response) {
        const bool api = request.path.starts_with("/api/");
        const std::string query_token = request.get_param_value("token");
        const std::string header_token = request.get_header_value("X-Sowfield-Token");
        // The page's calls carry the token themselves; a cookie alone, which
        // the browser attaches to anything, only fetches the page's files.
        const std::string cookie = api ? std::string{} : request.get_header_value("Cookie");
        const Refusal refusal = check_request({request.get_header_value("Host"), request.get_header_value("Origin"),
                                               query_token, header_token, cookie},
                                              port_, token_);
        if (refusal != Refusal::none) {
            response.status = 403;
            response.set_content(std::string(refusal_text(refusal)) + "\n", "text/plain; charset=utf-8");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (!query_token.empty())
            response.set_header("Set-Cookie", token_cookie_name(port_) + "=" + token_ +
                                                  "; Path=/; HttpOnly; SameSite=Strict");
        return httplib::Server::HandlerResponse::Unhandled;
    });

    ViewSession &view = session;
    server.Get("/api/state", [&view](const httplib::Request &request, httplib::Response &response) {
        int64_t since = -1;
        try {
            if (request.has_param("since")) since = std::stoll(request.get_param_value("since"));
        } catch (const std::exception &) {
            return send_error(response, 400, "since: expected a number");
        }
        send_json(response, view.state(since, kStatePatience));
    });
    server.Get(R"(/api/mesh/(\w+))", [&view](const httplib::Request &request, httplib::Response &response) {
        const std::shared_ptr<const std::string> mesh = view.mesh(request.matches[1].str());
        if (!mesh) return send_error(response, 404, "no such part of the scene");
        send_bytes(response, mesh, "application/octet-stream");
    });
    server.Post("/api/run", [&view](const httplib::Request &, httplib::Response &response) {
        if (!view.request_run()) return send_error(response, 409, "busy: a run is already under way");
        send_json(response, {{"started", true}}, 202);
    });
    server.Post("/api/panel", [&view](const httplib::Request &request, httplib::Response &response) {
        const std::optional<nlohmann::json> body = json_body(request, response);
        if (!body) return;
        std::optional<std::vector<PanelAction>> actions = panel_actions(*body);
        if (!actions) return send_error(response, 400, "expected {\"actions\": [{\"kind\", \"label\", \"value\"}]}");
        send_panel_reply(response, view.panel_actions(std::move(*actions)));
    });
    server.Get("/api/settings", [&view](const httplib::Request &, httplib::Response &response) {
        const std::optional<std::string> settings = view.settings_file();
        if (!settings) return send_error(response, 404, "no settings yet: open the panel with Run first");
        response.set_header("Content-Disposition", "attachment; filename=\"sowfield-settings.json\"");
        send_bytes(response, std::make_shared<const std::string>(*settings), "application/json");
    });
    server.Post("/api/settings", [&view](const httplib::Request &request, httplib::Response &response) {
        std::vector<PanelAction> actions;
        try {
            for (const host::PanelAnswer &answer : parse_settings_json(request.body, "the settings file"))
                actions.push_back({answer.kind == host::PanelAnswer::Kind::set ? PanelAction::Kind::set
                                                                               : PanelAction::Kind::press,
                                   answer.label, answer.value});
        } catch (const SettingsError &error) {
            return send_error(response, 400, error.what());
        }
        send_panel_reply(response, view.panel_actions(std::move(actions)));
    });
    server.Post("/api/save", [&view](const httplib::Request &request, httplib::Response &response) {
        const std::optional<nlohmann::json> body = json_body(request, response);
        if (!body) return;
        const nlohmann::json outcome = view.save(text_field(*body, "name"));
        send_json(response, outcome, outcome.contains("busy") ? 409 : outcome.contains("error") ? 400 : 200);
    });
    server.Post("/api/quit", [&view](const httplib::Request &, httplib::Response &response) {
        view.quit();
        send_json(response, {{"quitting", true}});
    });
    server.Get(R"(/[^?]*)", [this](const httplib::Request &request, httplib::Response &response) {
        const WebFile *file = routes_->files.find(request.path);
        if (file == nullptr) return send_error(response, 404, "not found");
        send_bytes(response, file->bytes, file->content_type);
    });
}

ViewServer::~ViewServer() = default;

uint16_t ViewServer::bind(uint16_t port) {
    httplib::Server &server = routes_->server;
    const bool bound = port == 0 ? (port = static_cast<uint16_t>(server.bind_to_any_port("127.0.0.1"))) > 0
                                 : server.bind_to_port("127.0.0.1", port);
    if (!bound) throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
    port_ = port;
    return port_;
}

std::string ViewServer::address() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/?token=" + token_;
}

void ViewServer::serve() { routes_->server.listen_after_bind(); }

void ViewServer::stop() { routes_->server.stop(); }

}  // namespace sowfield::cli::view
