#include "cli/view/request_guard.h"

#include <array>
#include <random>

namespace sowfield::cli::view {
namespace {

// Equal in length and content, taking the same time wherever they differ.
bool same_secret(std::string_view given, std::string_view secret) {
    if (given.size() != secret.size()) return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < secret.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ secret[i]);
    return difference == 0;
}

bool is_own_host(std::string_view host, uint16_t port) {
    const std::string suffix = ":" + std::to_string(port);
    return host == "127.0.0.1" + suffix || host == "localhost" + suffix;
}

// The value of cookie `name` in a Cookie header ("a=1; b=2"), or empty.
std::string_view cookie_value(std::string_view header, std::string_view name) {
    while (!header.empty()) {
        const size_t end = header.find(';');
        std::string_view pair = header.substr(0, end);
        header = end == std::string_view::npos ? std::string_view{} : header.substr(end + 1);
        while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
        if (pair.size() > name.size() && pair.starts_with(name) && pair[name.size()] == '=')
            return pair.substr(name.size() + 1);
    }
    return {};
}

}  // namespace

std::string new_access_token() {
    std::random_device source;  // the system's random source, not a seeded engine
    constexpr std::array<char, 16> kHex{'0', '1', '2', '3', '4', '5', '6', '7',
                                        '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
    std::string token;
    for (int word = 0; word < 4; ++word) {
        uint32_t bits = source();
        for (int digit = 0; digit < 8; ++digit, bits >>= 4) token += kHex[bits & 0xFu];
    }
    return token;
}

std::string token_cookie_name(uint16_t port) { return "sowfield_token_" + std::to_string(port); }

Refusal check_request(const RequestFacts &request, uint16_t port, std::string_view token) {
    if (!is_own_host(request.host, port)) return Refusal::foreign_host;
    if (!request.origin.empty() && request.origin != "http://" + std::string(request.host))
        return Refusal::foreign_origin;
    const std::string_view from_cookie = cookie_value(request.cookie, token_cookie_name(port));
    if (same_secret(request.query_token, token) || same_secret(request.header_token, token) ||
        same_secret(from_cookie, token))
        return Refusal::none;
    return Refusal::no_token;
}

const char *refusal_text(Refusal refusal) {
    switch (refusal) {
    case Refusal::none: return "";
    case Refusal::foreign_host: return "refused: this server answers only to its own address";
    case Refusal::foreign_origin: return "refused: requests from other sites are not accepted";
    case Refusal::no_token: return "refused: open the address with the access token the tool printed";
    }
    return "refused";
}

}  // namespace sowfield::cli::view
