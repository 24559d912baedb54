#include "cli/view/browser_face.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace sowfield::cli::view {
namespace {

using namespace std::chrono_literals;

// A panel of one integer control "Count" and a button "Zero", recording
// the thread it is used on.
class CountPanel final : public host::OpenPanel {
public:
    host::PanelSnapshot snapshot() const override {
        host::PanelSnapshot panel;
        panel.title = "Counter";
        host::ControlSnapshot count;
        count.label = "Count";
        count.kind = "integer";
        count.value = value;
        count.display = std::to_string(value);
        host::ControlSnapshot zero;
        zero.label = "Zero";
        zero.kind = "vButton";
        zero.is_button = true;
        panel.controls = {count, zero};
        panel.outside = {0, 1};
        return panel;
    }
    std::string set(std::string_view label, std::string_view text) override {
        used_on = std::this_thread::get_id();
        if (label != "Count") return "no such control";
        value = std::stoi(std::string(text));
        return {};
    }
    std::string press(std::string_view) override {
        value = 0;
        return {};
    }

    int value = 7;
    std::thread::id used_on;
};

class BrowserFaceTest : public ::testing::Test {
protected:
    // Posts `panel` on a thread of its own, as the run's thread would.
    std::future<bool> post(BrowserFace &face) {
        auto answered = std::async(std::launch::async, [&] {
            run_thread = std::this_thread::get_id();
            return face.answer(panel);
        });
        while (!face.open_panel()) std::this_thread::sleep_for(1ms);
        return answered;
    }

    CountPanel panel;
    std::thread::id run_thread;
};

TEST_F(BrowserFaceTest, ActionsRunOnThePanelsThreadInOrderAndOkAccepts) {
    BrowserFace face(nullptr, [] {});
    std::future<bool> answered = post(face);
    EXPECT_EQ((*face.open_panel())["title"], "Counter");
    const PanelReply reply = face.act({{PanelAction::Kind::set, "Count", "12"}, {PanelAction::Kind::press, "Zero", ""},
                                       {PanelAction::Kind::set, "Count", "3"}},
                                      5s);
    EXPECT_TRUE(reply.error.empty());
    EXPECT_EQ(reply.panel["outside"][0]["display"], "3");
    EXPECT_EQ(panel.used_on, run_thread);
    EXPECT_NE(face.open_settings()->find("\"Count\": 3"), std::string::npos);

    const PanelReply refused = face.act({{PanelAction::Kind::set, "Nothing", "1"}, {PanelAction::Kind::set, "Count", "9"}}, 5s);
    EXPECT_EQ(refused.error, "no such control");
    EXPECT_EQ(panel.value, 3);  // the first refusal stops the rest

    EXPECT_TRUE(face.act({{PanelAction::Kind::ok, "", ""}}, 5s).error.empty());
    EXPECT_TRUE(answered.get());
    EXPECT_FALSE(face.open_panel());
    EXPECT_FALSE(face.act({{PanelAction::Kind::set, "Count", "1"}}, 5s).open);
}

TEST_F(BrowserFaceTest, ARefusedOkKeepsThePanelOpenAndCancelDeclines) {
    BrowserFace face([](const host::PanelSnapshot &shown) {
        return shown.controls[0].value.integer > 10 ? std::string("too many") : std::string();
    }, [] {});
    std::future<bool> answered = post(face);
    face.act({{PanelAction::Kind::set, "Count", "11"}}, 5s);
    EXPECT_EQ(face.act({{PanelAction::Kind::ok, "", ""}}, 5s).error, "too many");
    EXPECT_TRUE(face.open_panel());
    face.act({{PanelAction::Kind::cancel, "", ""}}, 5s);
    EXPECT_FALSE(answered.get());
}

TEST_F(BrowserFaceTest, ClosingCancelsTheOpenPanelAndEveryLaterOne) {
    BrowserFace face(nullptr, [] {});
    std::future<bool> answered = post(face);
    face.close();
    EXPECT_FALSE(answered.get());
    EXPECT_FALSE(face.answer(panel));
}

}  // namespace
}  // namespace sowfield::cli::view
