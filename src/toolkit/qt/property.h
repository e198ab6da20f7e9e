#pragma once

#include <QString>

#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

namespace ktk {

class property;

// Never owns its properties: they are the shared global objects below.
using property_vector = std::vector<property*>;

// Next id to hand out; every property takes one when it is constructed.
extern std::int32_t type_counter;

class property {
public:
    property();

    // (p, v): appends p to v.
    property_vector operator,(property_vector v);

    std::int32_t id;
};

// Same kind of property.
bool operator==(const property* a, const property& b);

template <typename T, int N> class property_type;

// A flag: passed by reference, carries no value.
template <> class property_type<void, 1> : public property {
};

template <> class property_type<int, 1> : public property {
public:
    property_vector operator()(int v)
    {
        value = v;
        return { this };
    }

    std::int32_t value = 0;
};

// N integers; missing trailing values repeat the last given one.
template <int N> class property_type<int, N> : public property {
public:
    template <typename... V> property_vector operator()(int first, V... rest)
    {
        static_assert(sizeof...(V) < N, "too many values for this property");
        static_assert((std::is_integral_v<V> && ...), "property values are integers");
        value.clear();
        value.push_back(first);
        (value.push_back(static_cast<std::int32_t>(rest)), ...);
        while (value.size() < static_cast<std::size_t>(N))
            value.push_back(value.back());
        return { this };
    }

    std::vector<std::int32_t> value = std::vector<std::int32_t>(N, 0);
};

template <> class property_type<QString, 1> : public property {
public:
    property_vector operator()(const QString& text)
    {
        value = text;
        return { this };
    }

    QString value;
};

using flag_property = property_type<void, 1>;

inline property_vector _convert_to_property_vector(const property_vector& v)
{
    return v;
}

inline property_vector _convert_to_property_vector(flag_property& flag)
{
    return { &flag };
}

// What the layout's add() accepts after the widget: property vectors and flags.
template <typename T>
inline constexpr bool is_property_argument_v
    = std::is_same_v<std::decay_t<T>,
          property_vector> || (std::is_same_v<std::decay_t<T>, flag_property> && std::is_lvalue_reference_v<T> && !std::is_const_v<std::remove_reference_t<T>>);

template <typename... A> property_vector make_property_vector(A&&... args)
{
    property_vector result;
    ([&result](property_vector part) { result.insert(result.end(), part.begin(), part.end()); }(
         _convert_to_property_vector(std::forward<A>(args))),
        ...);
    return result;
}

} // namespace ktk

// The objects that window code names in its add() calls; their ids follow
// this order.
namespace ktk::qt::property {

extern ktk::property_type<int, 4> margin; // top, right, bottom, left
extern ktk::property_type<int, 1> margin_top;
extern ktk::property_type<int, 1> margin_bottom;
extern ktk::property_type<int, 1> margin_left;
extern ktk::property_type<int, 1> margin_right;
extern ktk::property_type<int, 4> padding; // top, right, bottom, left
extern ktk::property_type<int, 1> padding_top;
extern ktk::property_type<int, 1> padding_bottom;
extern ktk::property_type<int, 1> padding_left;
extern ktk::property_type<int, 1> padding_right;
extern ktk::property_type<int, 1> width;
extern ktk::property_type<int, 1> height;
extern ktk::property_type<int, 2> size;
extern ktk::property_type<QString, 1> style_sheet;
extern ktk::property_type<QString, 1> background_style_sheet;
extern ktk::property_type<void, 1> background_disable;
extern ktk::property_type<int, 1> row_height;
extern ktk::property_type<int, 1> row_span;
extern ktk::property_type<int, 1> column_span;
extern ktk::property_type<int, 1> column_width;
extern ktk::property_type<void, 1> hide;
extern ktk::property_type<void, 1> disable;
extern ktk::property_type<int, 1> cell_column_width;
extern ktk::property_type<void, 1> newline;
extern ktk::property_type<int, 1> offset_x;
extern ktk::property_type<int, 1> offset_y;
extern ktk::property_type<int, 2> offset;
extern ktk::property_type<void, 1> widget_size;
extern ktk::property_type<void, 1> widget_size_as_cell_column_width;

} // namespace ktk::qt::property
