#pragma once

#include "toolkit/string.h"

#include <string>

namespace ktk {

// One process-wide map from key to text, safe to use from any thread.
class global_storage {
public:
    global_storage() = delete;

    static string get(const std::string& key, const std::string& default_value = {});
    static void set(const std::string& key, const std::string& value);
};

} // namespace ktk
