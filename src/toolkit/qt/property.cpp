#include "toolkit/qt/property.h"

namespace ktk {

// Constant-initialised, so it is 0 before any property below is constructed.
std::int32_t type_counter = 0;

property::property()
    : id(type_counter++)
{
}

property_vector property::operator,(property_vector v)
{
    v.push_back(this);
    return v;
}

bool operator==(const property* a, const property& b)
{
    return a && a->id == b.id;
}

} // namespace ktk

namespace ktk::qt::property {

// Definition order is the id order.
ktk::property_type<int, 4> margin;
ktk::property_type<int, 1> margin_top;
ktk::property_type<int, 1> margin_bottom;
ktk::property_type<int, 1> margin_left;
ktk::property_type<int, 1> margin_right;
ktk::property_type<int, 4> padding;
ktk::property_type<int, 1> padding_top;
ktk::property_type<int, 1> padding_bottom;
ktk::property_type<int, 1> padding_left;
ktk::property_type<int, 1> padding_right;
ktk::property_type<int, 1> width;
ktk::property_type<int, 1> height;
ktk::property_type<int, 2> size;
ktk::property_type<QString, 1> style_sheet;
ktk::property_type<QString, 1> background_style_sheet;
ktk::property_type<void, 1> background_disable;
ktk::property_type<int, 1> row_height;
ktk::property_type<int, 1> row_span;
ktk::property_type<int, 1> column_span;
ktk::property_type<int, 1> column_width;
ktk::property_type<void, 1> hide;
ktk::property_type<void, 1> disable;
ktk::property_type<int, 1> cell_column_width;
ktk::property_type<void, 1> newline;
ktk::property_type<int, 1> offset_x;
ktk::property_type<int, 1> offset_y;
ktk::property_type<int, 2> offset;
ktk::property_type<void, 1> widget_size;
ktk::property_type<void, 1> widget_size_as_cell_column_width;

} // namespace ktk::qt::property
