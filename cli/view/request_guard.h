// Who may talk to the local view server. The server listens on 127.0.0.1
// only, but any web page the user opens can still make the browser send
// requests there (cross-site requests) or reach it under a name of its own
// that resolves to 127.0.0.1 (DNS rebinding). So every request must carry
// the access token printed at start-up, name the server by its own address
// in Host, and come from no other origin.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sowfield::cli::view {

// A fresh random token (32 hex digits from the system's random source).
std::string new_access_token();

// The cookie that carries the token once the page has loaded: one name per
// port, since browsers share cookies between ports of one host.
std::string token_cookie_name(uint16_t port);

// What a request says about itself; empty for what it does not carry.
struct RequestFacts {
    std::string_view host = {};          // the Host header
    std::string_view origin = {};        // the Origin header
    std::string_view query_token = {};   // ?token=
    std::string_view header_token = {};  // the X-Sowfield-Token header
    std::string_view cookie = {};        // the whole Cookie header
};

enum class Refusal { none, foreign_host, foreign_origin, no_token };

// Checks a request against the server's port and token. The token may come
// in the query, the header or the cookie; it is compared in constant time.
Refusal check_request(const RequestFacts &request, uint16_t port, std::string_view token);

// The refusal as the short text sent back with 403.
const char *refusal_text(Refusal refusal);

}  // namespace sowfield::cli::view
