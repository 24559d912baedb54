#include "cli/view/request_guard.h"

#include <gtest/gtest.h>

namespace sowfield::cli::view {
namespace {

constexpr uint16_t kPort = 4242;
const std::string kToken = "0123456789abcdef0123456789abcdef";

Refusal check(RequestFacts facts) { return check_request(facts, kPort, kToken); }

TEST(RequestGuard, TokensAreFreshHexOfFullLength) {
    const std::string first = new_access_token();
    EXPECT_EQ(first.size(), 32u);
    EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(first, new_access_token());
}

TEST(RequestGuard, AcceptsTheTokenFromQueryHeaderOrThisPortsCookie) {
    EXPECT_EQ(check({.host = "127.0.0.1:4242", .query_token = kToken}), Refusal::none);
    EXPECT_EQ(check({.host = "localhost:4242", .header_token = kToken}), Refusal::none);
    EXPECT_EQ(check({.host = "127.0.0.1:4242", .cookie = "a=1; sowfield_token_4242=" + kToken + "; b=2"}),
              Refusal::none);
    EXPECT_EQ(check({.host = "127.0.0.1:4242", .origin = "http://127.0.0.1:4242", .header_token = kToken}),
              Refusal::none);
}

TEST(RequestGuard, RefusesMissingWrongOrOtherPortsTokens) {
    EXPECT_EQ(check({.host = "127.0.0.1:4242"}), Refusal::no_token);
    std::string wrong = kToken;
    wrong.back() = '0';
    EXPECT_EQ(check({.host = "127.0.0.1:4242", .query_token = wrong}), Refusal::no_token);
    EXPECT_EQ(check({.host = "127.0.0.1:4242", .query_token = kToken.substr(1)}), Refusal::no_token);
    EXPECT_EQ(check({.host = "127.0.0.1:4242", .cookie = "sowfield_token_4243=" + kToken}), Refusal::no_token);
}

TEST(RequestGuard, RefusesForeignHostsAndOrigins) {
    EXPECT_EQ(check({.host = "attacker.example:4242", .query_token = kToken}), Refusal::foreign_host);
    EXPECT_EQ(check({.host = "127.0.0.1:80", .query_token = kToken}), Refusal::foreign_host);
    EXPECT_EQ(check({.host = "", .query_token = kToken}), Refusal::foreign_host);
    EXPECT_EQ(check({.host = "127.0.0.1:4242", .origin = "http://attacker.example", .query_token = kToken}),
              Refusal::foreign_origin);
    EXPECT_EQ(check({.host = "127.0.0.1:4242", .origin = "null", .query_token = kToken}), Refusal::foreign_origin);
}

}  // namespace
}  // namespace sowfield::cli::view
