#pragma once

#include <QString>

#include <map>
#include <set>
#include <string>

class QWidget;

namespace ktk::qt {

namespace stylesheet_internal {

struct _stylesheet_group {
    std::string selector;
    // Changing declarations never changes the group's place in the set.
    mutable std::map<std::string, std::string> declarations;

    bool operator<(const _stylesheet_group& other) const { return selector < other.selector; }
};

} // namespace stylesheet_internal

// Flat "key:value;" declarations, one per key, kept sorted by key. Keys and
// values are taken verbatim: " color" and "color" are different keys.
class stylesheet {
public:
    explicit stylesheet(const QString& text = QString());

    // Parses "key:value;key:value" into the group without selector; the last
    // declaration of a key wins.
    void set(const std::string& text);
    std::string to_string() const;
    void apply(QWidget* widget) const;

private:
    std::set<stylesheet_internal::_stylesheet_group> groups;
};

} // namespace ktk::qt
