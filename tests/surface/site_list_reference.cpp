#include "site_list_reference.h"

#include <algorithm>
#include <cmath>

#include "numeric/random.h"
#include "surface/polygon_weight.h"
#include "surface/random_point.h"
#include "surface/target_polygons.h"

namespace sowfield::testing {

namespace {

bool is_free(const reference_site_list &list, const params_typ &settings, double mean, const Point &p, double a, double w,
             double d) {
    if (settings.size_by_poly_area != 0 && mean > a) d = std::max(0.5, a / mean) * d;
    if (settings.density_weightmap != 0) {
        const double b = w * 100;
        if (b < -1)
            d = d * (b / -20 + 1);
        else if (b > 1)
            d = d / (b / 20 + 1);
        if (b + 100 <= 20) return false;
        const double top = b + 100;
        const int32_t bound = std::isnan(top) ? 100 : (top >= 2147483647.0 ? 2147483647 : static_cast<int32_t>(top));
        if (generator.int_between(1, bound) <= 4) return false;
    }
    return list.spacing_accepts(p, d);
}

const char *name_at(const vmap_catalogue &catalogue, int32_t index) {
    const vmap_name_node *n = weightmap_at(catalogue, index);
    return n != nullptr ? n->name : nullptr;
}

}  // namespace

reference_site_list::~reference_site_list() {
    while (head_ != nullptr) {
        node *next = head_->next;
        delete head_;
        head_ = next;
    }
}

size_t reference_site_list::insert(const Point &p) {
    auto *fresh = new node{p, count_++, nullptr};
    if (head_ == nullptr) {
        head_ = fresh;
    } else if (head_->position.x > p.x) {
        fresh->next = head_;
        head_ = fresh;
    } else {
        node *before = head_;
        while (before->next != nullptr && !(before->next->position.x > p.x)) before = before->next;
        fresh->next = before->next;
        before->next = fresh;
    }
    return fresh->number;
}

bool reference_site_list::spacing_accepts(const Point &p, double d) const {
    for (const node *s = head_; s != nullptr; s = s->next) {
        const Point &q = s->position;
        if (q.x > p.x + d) return true;
        if (q.x > p.x - d) {
            const double distance =
                std::sqrt((p.y - q.y) * (p.y - q.y) + (p.x - q.x) * (p.x - q.x) + (p.z - q.z) * (p.z - q.z));
            if (distance < d) return false;
        }
    }
    return true;
}

std::vector<size_t> reference_site_list::order() const {
    std::vector<size_t> numbers;
    for (const node *s = head_; s != nullptr; s = s->next) numbers.push_back(s->number);
    return numbers;
}

reference_run reference_distribute_sites(const vmap_catalogue &catalogue, const params_typ &settings) {
    reference_run run;
    const double total = total_area(target_polygons.get(), target_count);
    const double base = std::sqrt(total / settings.clone_count) * settings.distribution;
    run.mean_area = total / target_count;

    random rng;
    rng.reseed(settings.random_seed);
    const char *density = settings.density_weightmap != 0 ? name_at(catalogue, settings.density_weightmap) : nullptr;
    reference_site_list list;
    std::vector<reference_site> chosen;  // by site number

    for (int32_t i = 0; i < settings.clone_count; ++i) {
        int64_t j = 0;
        for (;;) {
            int32_t r = 0;
            if (target_count != 1) {
                const double u = rng.next_unit();
                r = u == 1.0 ? target_count - 1 : static_cast<int32_t>(u * target_count);
            }
            const face6_typ &record = target_polygons[static_cast<size_t>(r)];
            const Point n = record.normal;
            const Point p = random_point_on_polygon(rng, record);
            double a = 0;
            double w = 0;
            if (settings.size_by_poly_area != 0) a = polygon_area(r, target_polygons.get());
            if (settings.density_weightmap != 0) w = polygon_weight(catalogue, record.polygon, density);
            ++j;
            if (j <= settings.iterations) {
                const double dj = base / (static_cast<double>(j) / settings.iterations + 1.0);
                if (!is_free(list, settings, run.mean_area, p, a, w, dj)) continue;
            }
            list.insert(p);
            reference_site &s = chosen.emplace_back();
            s.position = p;
            s.polygon_index = r;
            if (settings.size_by_poly_area != 0) s.area = a;
            if (settings.h_align_normals == 1 || settings.p_align_normals == 1) {
                double pitch = -1 < n.y && n.y < 1 ? std::acos(n.y) : 0.0;
                double heading;
                if (n.z < -0.001 || n.z > 0.001) {
                    heading = std::acos(n.x / std::sqrt(n.x * n.x + n.z * n.z));
                    if (n.z < 0) heading = -heading;
                } else if (n.x > 0.001) {
                    heading = 0;
                } else if (n.x < -0.001) {
                    heading = 3.1415926535898;
                } else {
                    heading = rng.double_between(-3.1415927410125732, 3.1415927410125732);
                }
                if (settings.p_angle_weightmap != 0) {
                    const char *name = name_at(catalogue, settings.p_angle_weightmap);
                    if (settings.p_angle_absolute == 1) pitch = 1.5707963267949;
                    pitch = pitch + polygon_weight(catalogue, record.polygon, name) * 1.5707963267949;
                }
                s.pitch = pitch;
                s.heading = heading;
            } else {
                s.heading = 0;
            }
            break;
        }
    }
    for (const size_t number : list.order()) run.sites.push_back(chosen[number]);
    return run;
}

}  // namespace sowfield::testing
