#pragma once

#include <cstdint>
#include <vector>

// The nearest of many points on the globe. Points live as unit vectors in a
// k-d tree, so the date line and the poles need no special case: the nearest
// by straight line through the globe is the nearest along its surface.
class sphere_index {
public:
    struct lat_lon {
        double lat;
        double lon;
    };

    explicit sphere_index(const std::vector<lat_lon>& points);

    // The position in the given points of the one nearest to lat/lon and
    // accepted by accept(item); -1 when none is. Takes any finite degrees.
    template <typename Accept> int nearest(double lat, double lon, Accept accept) const;
    int nearest(double lat, double lon) const
    {
        return nearest(lat, lon, [](int) { return true; });
    }

private:
    struct node {
        double xyz[3];
        std::int32_t item;
        std::uint8_t axis;
    };
    struct search_state {
        double target[3];
        double best_d2;
        int best;
    };

    void build(int lo, int hi);
    template <typename Accept> void search(int lo, int hi, search_state& state, Accept& accept) const;
    static void to_unit(double lat, double lon, double xyz[3]);

    // Balanced tree stored in order: the node of range [lo, hi) sits at its
    // middle, its halves to either side.
    std::vector<node> nodes;
};

template <typename Accept> int sphere_index::nearest(double lat, double lon, Accept accept) const
{
    search_state state;
    to_unit(lat, lon, state.target);
    state.best_d2 = 5; // above the largest squared chord, 4
    state.best = -1;
    search(0, int(nodes.size()), state, accept);
    return state.best;
}

template <typename Accept>
void sphere_index::search(int lo, int hi, search_state& state, Accept& accept) const
{
    if (lo >= hi)
        return;
    const int mid = lo + (hi - lo) / 2;
    const node& n = nodes[mid];
    double d2 = 0;
    for (int k = 0; k < 3; ++k) {
        const double d = n.xyz[k] - state.target[k];
        d2 += d * d;
    }
    if (d2 < state.best_d2 && accept(n.item)) {
        state.best_d2 = d2;
        state.best = n.item;
    }
    // The near half first; the far one only when the splitting plane lies
    // closer than the best found so far.
    const double split = state.target[n.axis] - n.xyz[n.axis];
    if (split < 0) {
        search(lo, mid, state, accept);
        if (split * split < state.best_d2)
            search(mid + 1, hi, state, accept);
    } else {
        search(mid + 1, hi, state, accept);
        if (split * split < state.best_d2)
            search(lo, mid, state, accept);
    }
}
