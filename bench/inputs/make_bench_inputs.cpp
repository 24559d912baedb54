// Writes the comparison benchmark's inputs into a folder:
//   surface.obj   the 512 x 512-quad terrain, side 100
//   object.obj    the 2,002-point closed object (positions, polygons, UVs)
//   object.glb    the same object with its UV, weight and morph maps
//   triangle.obj  one small triangle, for distribution-only runs
#include <exception>
#include <filesystem>
#include <iostream>

#include "bench/workloads/workloads.h"
#include "io/mesh_file.h"
#include "sowfield_host.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::cerr << "usage: make_bench_inputs FOLDER\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    try {
        std::filesystem::create_directories(folder);
        sowfield::host::Scene scene;
        const size_t surface = 0;
        const size_t object = 1;
        const size_t triangle = 2;
        sowfield::bench::build_terrain(scene.add_layer("surface"), 512, 100.0);
        sowfield::bench::build_object(scene.add_layer("object"));
        sowfield::host::Layer &small = scene.add_layer("triangle");
        const uint32_t corners[3] = {small.add_point({0.0, 0.0, 0.0}), small.add_point({0.01, 0.0, 0.0}),
                                     small.add_point({0.0, 0.01, 0.0})};
        small.add_polygon(SF_POLY_FACE, corners);
        sowfield::io::write_mesh_file(folder / "surface.obj", scene, surface);
        sowfield::io::write_mesh_file(folder / "object.obj", scene, object);
        sowfield::io::write_mesh_file(folder / "object.glb", scene, object);
        sowfield::io::write_mesh_file(folder / "triangle.obj", scene, triangle);
    } catch (const std::exception &failure) {
        std::cerr << "make_bench_inputs: " << failure.what() << "\n";
        return 1;
    }
    return 0;
}
