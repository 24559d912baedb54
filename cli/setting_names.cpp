#include "cli/setting_names.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <optional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "host/common/text.h"

namespace sowfield::cli {
namespace {

// The panel's controls in its table order, each with the field of the
// parameter record it edits (buttons: a name made from the label). A test
// checks this table against the labels the loaded plug-in's panel shows.
constexpr std::array<SettingName, 31> kNames{{
    {"about", "About", true},
    {"clone_count", "Number of Clones"},
    {"independent_sizes", "Independent Sizes"},
    {"size_variation_x", "Size Variations"},
    {"size_variation_y", "Y"},
    {"size_variation_z", "Z"},
    {"size_weightmap", "Size WeightMap"},
    {"size_weightmap_influence", "Size WeightMap Influence"},
    {"size_by_poly_area", "Size depends on Poly Area"},
    {"dependence_power", "Dependence Power"},
    {"density_weightmap", "Density WeightMap"},
    {"h_min", "Random rotation H Min", false, "H Min"},
    {"h_max", "H Max"},
    {"p_min", "P Min"},
    {"p_max", "P Max"},
    {"b_min", "B Min"},
    {"b_max", "B Max"},
    {"zero_angles", "Zero Angles", true},
    {"h_align_normals", "H Align with normals"},
    {"p_align_normals", "P Align with normals"},
    {"jitter", "Jitter Cloned points"},
    {"slope_limits", "Slope Angle Limits"},
    {"min_slope_angle", "Min Slope Angle"},
    {"max_slope_angle", "Max Slope Angle"},
    {"distribution", "Distribution"},
    {"iterations", "Iterations"},
    {"random_seed", "Random Seed"},
    {"auto_morph_maps", "Auto morph maps"},
    {"reset_values", "Reset Values", true},
    {"p_angle_weightmap", "P angle weightmap"},
    {"p_angle_absolute", "Absolute"},
}};

using host::equal_ignoring_case;
using host::trim;

using host::in_quotes;

std::string accepted_buttons() {
    std::string list;
    for (const SettingName &name : kNames)
        if (name.button) list += "  " + std::string(name.label) + " (" + std::string(name.field) + ")\n";
    return list;
}

// A named value control, or SettingsError saying why the name is not one.
const SettingName &value_control(std::string_view name, std::string_view where) {
    const SettingName *setting = find_setting(name);
    if (setting == nullptr)
        throw SettingsError(std::string(where) + "unknown setting " + in_quotes(trim(name)) +
                            "; accepted names (label or field name, any case):\n" + accepted_setting_names());
    if (setting->button)
        throw SettingsError(std::string(where) + in_quotes(setting->label) +
                            " is a button, not a setting; press it with --press " + in_quotes(setting->label));
    return *setting;
}

// Collects the entries of one flat JSON object. The raw text of a number is
// kept: a value read as a double and printed again could name a different
// percent or angle than the one written.
class SettingsReader final : public nlohmann::json_sax<nlohmann::json> {
public:
    SettingsReader(std::string_view text, std::string_view source) : text_(text), source_(source) {}

    std::vector<host::PanelAnswer> answers;
    std::optional<std::string> error;

    bool null() override { return fail("has no value (null); give a number, true/false or a text"); }
    bool boolean(bool value) override { return value_text(value ? "true" : "false"); }
    bool number_integer(number_integer_t value) override { return value_text(std::to_string(value)); }
    bool number_unsigned(number_unsigned_t value) override { return value_text(std::to_string(value)); }
    bool number_float(number_float_t /*value*/, const string_t &literal) override { return value_text(literal); }
    bool string(string_t &value) override { return value_text(value); }
    bool binary(binary_t & /*value*/) override { return fail("holds binary data"); }

    bool start_object(std::size_t /*elements*/) override {
        if (depth_++ == 0) return true;
        return fail("is an object; give a number, true/false or a text");
    }
    bool end_object() override {
        --depth_;
        return true;
    }
    bool start_array(std::size_t /*elements*/) override {
        if (depth_ == 0) return top_level_not_object();
        return fail("is a list; give a number, true/false or a text");
    }
    bool end_array() override { return true; }
    bool key(string_t &name) override {
        key_ = name;
        return true;
    }

    bool parse_error(std::size_t position, const std::string & /*last_token*/,
                     const nlohmann::detail::exception &failure) override {
        const std::string reason = host::without_exception_name(failure.what());
        error = prefix() + "malformed JSON near line " + std::to_string(line_at(position)) + ": " + reason;
        return false;
    }

private:
    bool value_text(std::string text) {
        if (depth_ == 0) return top_level_not_object();
        try {
            const SettingName &setting = value_control(key_, "");
            answers.push_back(host::PanelAnswer::set(std::string(setting.label), std::move(text)));
        } catch (const SettingsError &unknown) {
            error = prefix() + unknown.what();
            return false;
        }
        return true;
    }
    bool fail(const std::string &why) {
        if (depth_ == 0) return top_level_not_object();
        error = prefix() + "the value of " + in_quotes(key_) + " " + why;
        return false;
    }
    bool top_level_not_object() {
        error = prefix() + "expected one JSON object of settings, {\"Number of Clones\": 30, ...}";
        return false;
    }
    std::string prefix() const { return "settings file " + std::string(source_) + ": "; }
    std::size_t line_at(std::size_t position) const {
        std::size_t line = 1;
        for (std::size_t i = 0; i < position && i < text_.size(); ++i)
            if (text_[i] == '\n') ++line;
        return line;
    }

    std::string_view text_;
    std::string_view source_;
    std::string key_;
    int depth_ = 0;
};

}  // namespace

bool names_weight_map(const SettingName &setting) {
    return setting.field == "size_weightmap" || setting.field == "density_weightmap" ||
           setting.field == "p_angle_weightmap";
}

std::span<const SettingName> setting_names() { return kNames; }

const SettingName *find_setting(std::string_view name) {
    name = trim(name);
    for (const SettingName &setting : kNames)
        if (equal_ignoring_case(name, setting.label) || equal_ignoring_case(name, setting.field) ||
            (!setting.short_name.empty() && equal_ignoring_case(name, setting.short_name)))
            return &setting;
    return nullptr;
}

std::string accepted_setting_names() {
    std::string list;
    for (const SettingName &name : kNames)
        if (!name.button)
            list += "  " + std::string(name.label) +
                    (name.short_name.empty() ? "" : ", " + std::string(name.short_name)) + " (" +
                    std::string(name.field) + ")\n";
    return list;
}

host::PanelAnswer parse_set(std::string_view argument) {
    const std::size_t equals = argument.find('=');
    if (equals == std::string_view::npos)
        throw SettingsError("--set " + in_quotes(argument) + ": expected NAME=VALUE, e.g. --set clone_count=200");
    const std::string_view name = trim(argument.substr(0, equals));
    const std::string_view value = trim(argument.substr(equals + 1));
    const SettingName &setting = value_control(name, "--set " + in_quotes(argument) + ": ");
    if (value.empty())
        throw SettingsError("--set " + in_quotes(argument) + ": no value given for " + in_quotes(setting.label));
    return host::PanelAnswer::set(std::string(setting.label), std::string(value));
}

host::PanelAnswer parse_press(std::string_view name) {
    const SettingName *setting = find_setting(name);
    if (setting == nullptr)
        throw SettingsError("--press " + in_quotes(name) + ": unknown button; the panel's buttons are:\n" +
                            accepted_buttons());
    if (!setting->button)
        throw SettingsError("--press " + in_quotes(name) + ": " + in_quotes(setting->label) +
                            " is a setting, not a button; give it a value with --set \"" +
                            std::string(setting->field) + "=VALUE\"");
    return host::PanelAnswer::press(std::string(setting->label));
}

std::vector<host::PanelAnswer> parse_settings_json(std::string_view text, std::string_view source) {
    SettingsReader reader(text, source);
    const bool parsed = nlohmann::json::sax_parse(text, &reader);
    if (!parsed || reader.error) {
        if (reader.error) throw SettingsError(*reader.error);
        throw SettingsError("settings file " + std::string(source) + ": malformed JSON");
    }
    return std::move(reader.answers);
}

std::vector<host::PanelAnswer> read_settings_file(const std::filesystem::path &path) {
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored))
        throw SettingsError("settings file " + path.string() + ": is a directory");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw SettingsError("settings file " + path.string() + ": cannot be opened");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw SettingsError("settings file " + path.string() + ": cannot be read");
    return parse_settings_json(text.str(), path.string());
}

}  // namespace sowfield::cli
