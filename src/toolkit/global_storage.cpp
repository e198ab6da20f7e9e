#include "toolkit/global_storage.h"

#include <map>
#include <mutex>

namespace ktk {

namespace {

struct storage {
    std::mutex mutex;
    std::map<string, string> values;
};

storage& the_storage()
{
    static storage instance;
    return instance;
}

} // namespace

string global_storage::get(const std::string& key, const std::string& default_value)
{
    storage& s = the_storage();
    const std::lock_guard<std::mutex> lock(s.mutex);
    const auto it = s.values.find(key);
    return it == s.values.end() ? string(default_value) : it->second;
}

void global_storage::set(const std::string& key, const std::string& value)
{
    storage& s = the_storage();
    const std::lock_guard<std::mutex> lock(s.mutex);
    s.values[key] = value;
}

} // namespace ktk
