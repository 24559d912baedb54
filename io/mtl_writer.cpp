#include "io/mtl_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>

#include "io/input_files.h"
#include "io/look_image_files.h"

namespace sowfield::io::detail {

namespace {

// The shortest text that reads back as the same double.
std::string number_text(double value) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::string numbers_text(std::initializer_list<double> values) {
    std::string text;
    for (const double value : values) text += " " + number_text(value);
    return text;
}

class LibraryText {
public:
    LibraryText(AtomicFile &out, LookImageFiles &images) : out_(out), images_(images) {}

    void material(const std::string &name, const host::SurfaceLook *look) {
        if (name.find_first_of("\r\n") != std::string::npos)
            out_.fail("the surface name \"" + name + "\" contains a line break, which OBJ cannot hold");
        text_ += "\nnewmtl " + name + "\n";
        if (look == nullptr) {
            text_ += "Kd 0.8 0.8 0.8\n";
            return;
        }
        const std::array<double, 4> &colour = look->base_colour;
        text_ += "Kd" + numbers_text({colour[0], colour[1], colour[2]}) + "\n";
        text_ += "d" + numbers_text({colour[3]}) + "\n";
        const double gloss = 1.0 - std::clamp(look->roughness, 0.0, 1.0);
        // Rounded to millionths: readers that know Pr take that instead.
        text_ += "Ns" + numbers_text({std::round(1e9 * gloss * gloss) / 1e6}) + "\n";
        text_ += "Pr" + numbers_text({look->roughness}) + "\n";
        text_ += "Pm" + numbers_text({look->metallic}) + "\n";
        const std::array<double, 3> &glow = look->emissive;
        if (glow != std::array<double, 3>{0, 0, 0} || look->emissive_texture)
            text_ += "Ke" + numbers_text({glow[0], glow[1], glow[2]}) + "\n";
        texture("map_Kd", "", look->base_colour_texture);
        texture("map_Ke", "", look->emissive_texture);
        texture("map_d", "", look->alpha_texture);
        if (look->normal_texture)
            texture("map_Bump",
                    look->normal_texture->scale != 1.0 ? "-bm" + numbers_text({look->normal_texture->scale}) + " "
                                                       : std::string(),
                    look->normal_texture);
    }

    const std::string &text() const { return text_; }

private:
    void texture(const char *key, const std::string &options, const std::optional<host::LookTexture> &slot) {
        if (!slot) return;
        // OBJ names image files whatever their format: an image only an
        // extension offered (WebP, say) is better than none.
        const std::shared_ptr<const host::LookImage> &image = slot->any_image();
        if (!image || image->bytes.empty()) return;
        text_ += std::string(key) + " " + options + images_.file_for(image) + "\n";
    }

    AtomicFile &out_;
    LookImageFiles &images_;
    std::string text_ = "# Sowfield material library\n";
};

}  // namespace

std::string write_material_library(AtomicFile &out, const host::Scene &scene, const std::vector<uint32_t> &surfaces) {
    std::filesystem::path library = out.target();
    library.replace_extension(".mtl");
    const std::string file_name = library.filename().string();
    LookImageFiles images(out, {out.target().filename().string(), file_name});
    LibraryText text(out, images);
    for (const uint32_t surface : surfaces)
        text.material(scene.surface_name(surface), scene.surface_keeping(surface).look.get());
    refuse_replacing_input(out, library);
    auto file = std::make_unique<AtomicFile>(library);
    file->write(text.text());
    out.attach(std::move(file));
    return file_name;
}

}  // namespace sowfield::io::detail
