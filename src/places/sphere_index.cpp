#include "places/sphere_index.h"

#include <algorithm>
#include <cmath>

sphere_index::sphere_index(const std::vector<lat_lon>& points)
{
    nodes.reserve(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        node n;
        to_unit(points[i].lat, points[i].lon, n.xyz);
        n.item = std::int32_t(i);
        n.axis = 0;
        nodes.push_back(n);
    }
    build(0, int(nodes.size()));
}

void sphere_index::to_unit(double lat, double lon, double xyz[3])
{
    constexpr double radians = M_PI / 180;
    const double phi = lat * radians;
    const double lambda = lon * radians;
    xyz[0] = std::cos(phi) * std::cos(lambda);
    xyz[1] = std::cos(phi) * std::sin(lambda);
    xyz[2] = std::sin(phi);
}

void sphere_index::build(int lo, int hi)
{
    if (hi - lo < 2)
        return;
    // Split along the widest spread, which suits towns crowded on land.
    double low[3] = { 2, 2, 2 };
    double high[3] = { -2, -2, -2 };
    for (int i = lo; i < hi; ++i) {
        for (int k = 0; k < 3; ++k) {
            low[k] = std::min(low[k], nodes[i].xyz[k]);
            high[k] = std::max(high[k], nodes[i].xyz[k]);
        }
    }
    std::uint8_t axis = 0;
    for (std::uint8_t k = 1; k < 3; ++k) {
        if (high[k] - low[k] > high[axis] - low[axis])
            axis = k;
    }
    const int mid = lo + (hi - lo) / 2;
    std::nth_element(nodes.begin() + lo, nodes.begin() + mid, nodes.begin() + hi,
        [axis](const node& a, const node& b) { return a.xyz[axis] < b.xyz[axis]; });
    nodes[mid].axis = axis;
    build(lo, mid);
    build(mid + 1, hi);
}
