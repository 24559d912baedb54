// Display units: values typed in percent and degrees, the texts the panel shows
// and saves for stored values, and the panel's text views.
#include "host/panel/panel_view.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace sowfield::host {
namespace {

PanelValue as_float(double value) { return PanelValue(value); }
PanelValue as_integer(int32_t value) { return PanelValue(value); }

double parse_float(ControlKind kind, const std::string &text) {
    PanelValue value = as_float(0.0);
    const std::string error = parse_display_value(kind, text, {}, value);
    EXPECT_EQ(error, "") << text;
    return value.number;
}

uint64_t bits(double value) { return std::bit_cast<uint64_t>(value); }

TEST(PanelView, DisplayTextsReadBackAsThePanelValueBitForBit) {
    // The plug-in's own defaults: fractions, and angles computed with 3.1415.
    const double tenth_of_a_half_turn = 10.0 * 3.1415 / 180.0;
    for (double stored : {0.25, 0.8, 0.5, 0.0, 1.0, 1e-9, 0.3333333333333333})
        EXPECT_EQ(bits(parse_float(ControlKind::percent, display_value(ControlKind::percent, as_float(stored), {}))),
                  bits(stored))
            << stored;
    for (double stored : {tenth_of_a_half_turn, -tenth_of_a_half_turn, 3.1415, 0.0, -0.0, 1.5707963267949})
        EXPECT_EQ(bits(parse_float(ControlKind::angle, display_value(ControlKind::angle, as_float(stored), {}))),
                  bits(stored))
            << stored;
}

TEST(PanelView, EveryFractionHasAPercentTextThatReadsBackExactly) {
    std::mt19937_64 draw(11);
    std::uniform_real_distribution<double> fraction(-3.0, 3.0);
    std::uniform_int_distribution<uint64_t> any_bits;
    for (int i = 0; i < 20000; ++i) {
        double stored = fraction(draw);
        if (i % 2 == 1) {
            stored = std::bit_cast<double>(any_bits(draw));
            if (!std::isfinite(stored)) continue;
        }
        const std::string shown = display_value(ControlKind::percent, as_float(stored), {});
        ASSERT_EQ(bits(parse_float(ControlKind::percent, shown)), bits(stored)) << stored << " shown as " << shown;
    }
    EXPECT_EQ(display_value(ControlKind::percent, as_float(1.0 / 3.0), {}), "33.33333333333333");
    EXPECT_EQ(display_value(ControlKind::percent, as_float(1e-8), {}), "0.000001");
    EXPECT_EQ(display_value(ControlKind::percent, as_float(1e-9), {}), "1e-7");
    EXPECT_EQ(display_value(ControlKind::percent, as_float(-0.0), {}), "-0");
    EXPECT_EQ(display_value(ControlKind::percent, as_float(1e300), {}), "1e302");
    EXPECT_EQ(parse_float(ControlKind::percent, "2.5e1%"), 0.25);
    EXPECT_EQ(parse_float(ControlKind::percent, "0.1"), 0.001);  // the double nearest 0.001
}

TEST(PanelView, ValuesTypedByTheUserAreShownAsTyped) {
    // Whatever a user types, the panel shows it back no longer than typed and
    // reading the shown text gives the same stored value.
    std::mt19937 draw(7);
    std::uniform_int_distribution<int> whole(-36000, 36000);
    for (int i = 0; i < 2000; ++i) {
        const std::string typed = std::to_string(whole(draw) / 100) + "." + std::to_string(std::abs(whole(draw)) % 100);
        for (ControlKind kind : {ControlKind::percent, ControlKind::angle}) {
            const double stored = parse_float(kind, typed);
            const std::string shown = display_value(kind, as_float(stored), {});
            EXPECT_LE(shown.size(), typed.size()) << typed << " shown as " << shown;
            EXPECT_EQ(bits(parse_float(kind, shown)), bits(stored)) << typed;
        }
    }
    EXPECT_EQ(display_value(ControlKind::percent, as_float(parse_float(ControlKind::percent, "12.5")), {}), "12.5");
    EXPECT_EQ(display_value(ControlKind::angle, as_float(parse_float(ControlKind::angle, "10")), {}), "10");
    EXPECT_EQ(parse_float(ControlKind::angle, "90 deg"), 90 * std::numbers::pi / 180);
    EXPECT_EQ(parse_float(ControlKind::angle, "-45\xC2\xB0"), -45 * std::numbers::pi / 180);
}

TEST(PanelView, ChoicesAndCheckBoxesShowTheirNames) {
    const std::vector<std::string> maps = {"none", "Weight A"};
    EXPECT_EQ(display_value(ControlKind::popup, as_integer(1), maps), "Weight A");
    EXPECT_EQ(display_value(ControlKind::popup, as_integer(3), maps), "3");  // kept from a scene with more maps
    EXPECT_EQ(display_value(ControlKind::boolean, as_integer(1), {}), "on");
    EXPECT_EQ(display_value(ControlKind::boolean, as_integer(0), {}), "off");
    EXPECT_EQ(display_value(ControlKind::boolean, as_integer(2), {}), "2");
    PanelValue value = as_integer(5);
    EXPECT_NE(parse_display_value(ControlKind::popup, "x", {}, value).find("no entries"), std::string::npos);
    EXPECT_EQ(value.integer, 5);  // a refused text leaves the value alone
    value = as_float(0.5);
    EXPECT_NE(parse_display_value(ControlKind::number, "", {}, value).find("takes a number"), std::string::npos);
    EXPECT_NE(parse_display_value(ControlKind::number, "1 2", {}, value).find("takes a number"), std::string::npos);
    EXPECT_NE(parse_display_value(ControlKind::integer, "++1", {}, value).find("whole number"), std::string::npos);
}

PanelSnapshot small_panel() {
    PanelSnapshot panel;
    panel.title = "Demo";
    ControlSnapshot about;
    about.label = "About";
    about.kind = "vButton";
    about.is_button = true;
    ControlSnapshot linked;
    linked.label = "Linked";
    linked.kind = "iBoolean";
    linked.value = as_integer(0);
    linked.display = "off";
    ControlSnapshot y;
    y.label = "Y \"up\"";
    y.kind = "percent";
    y.value = as_float(0.25);
    y.display = "25";
    y.enabled = false;
    y.disabled_by = "Linked";
    y.disabled_message = "Size axes are linked";
    y.divider_after = true;
    ControlSnapshot map;
    map.label = "Map";
    map.kind = "iPopChoice";
    map.value = as_integer(2);
    map.display = "2";
    map.choices = {"none", "W"};
    ControlSnapshot turn;
    turn.label = "Turn";
    turn.kind = "angle";
    turn.value = as_float(0.5);
    turn.display = "28.64788975654116";
    panel.controls = {about, linked, y, map, turn};
    panel.outside = {0};
    panel.groups = {{"Basic", {1, 2, 3}, true}, {"Advanced", {4}, true}};
    return panel;
}

TEST(PanelView, RendersTitleButtonsTabsDividersAndDisabledControls) {
    EXPECT_EQ(render_panel(small_panel()),
              "Demo\n"
              "====\n"
              "\n"
              "  [About]\n"
              "\n"
              "Tab \"Basic\"\n"
              "  Linked  off\n"
              "  Y \"up\"  25 %    (disabled while \"Linked\" is off: Size axes are linked)\n"
              "  --------------------\n"
              "  Map     2 (beyond the list of 2 entries)    [none | W]\n"
              "\n"
              "Tab \"Advanced\"\n"
              "  Turn    28.64788975654116 deg\n");
}

TEST(PanelView, SavesValuesInTheFormSettingsAreRead) {
    EXPECT_EQ(settings_json(small_panel()),
              "{\n"
              "  \"Linked\": false,\n"
              "  \"Y \\\"up\\\"\": 25,\n"
              "  \"Map\": 2,\n"
              "  \"Turn\": 28.64788975654116\n"
              "}\n");
    const std::vector<PanelAnswer> answers = settings_answers(small_panel());
    ASSERT_EQ(answers.size(), 4u);
    EXPECT_EQ(answers[1].label, "Y \"up\"");
    EXPECT_EQ(answers[1].value, "25");
    EXPECT_EQ(answers[2].value, "2");
}

}  // namespace
}  // namespace sowfield::host
