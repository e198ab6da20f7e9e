#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace ktk {

// A run of elements. Views handed out by the splitters never own their
// storage; an owning array frees it with delete[] when destroyed.
template <typename T> class array {
public:
    array() = default;
    array(T* data, std::size_t size, bool owns_storage = false)
        : data_(data)
        , size_(size)
        , owns_(owns_storage)
    {
    }
    // A copy is always a plain view: the storage keeps exactly one owner.
    array(const array& other)
        : data_(other.data_)
        , size_(other.size_)
    {
    }
    array(array&& other) noexcept
        : data_(other.data_)
        , size_(other.size_)
        , owns_(other.owns_)
    {
        other.owns_ = false;
    }
    array& operator=(const array&) = delete;
    array& operator=(array&&) = delete;
    ~array()
    {
        if (owns_)
            delete[] data_;
    }

    T* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    bool owns_storage() const { return owns_; }
    T* begin() const { return data_; }
    T* end() const { return data_ + size_; }
    T& operator[](std::size_t i) const { return data_[i]; }

private:
    T* data_ = nullptr;
    std::size_t size_ = 0;
    bool owns_ = false;
};

// Byte string with lenient number conversions. It is a std::string in every
// respect (value semantics, byte-wise ordering, usable as a map key).
class string : public std::string {
public:
    using std::string::append;
    using std::string::string;

    string() = default;
    string(const std::string& s)
        : std::string(s)
    {
    }
    string(std::string&& s) noexcept
        : std::string(std::move(s))
    {
    }
    explicit string(const array<char>& a)
        : std::string(a.data(), a.size())
    {
    }

    bool starts_with(const std::string& prefix) const;

    // The number found in the text; commas count as decimal points and
    // everything but digits, '-' and '.' is ignored. The decimal point is
    // '.' whatever the process locale says.
    double to_double(double default_value = 0.0) const;
    // The integer found in the text; values beyond the int range are
    // clamped to it.
    int to_int(int default_value = 0) const;

    // Removes every occurrence of part, anywhere in the string.
    string& strip(const std::string& part);

    string& operator<<(int value);
    void append(int value);
};

using split_callback = std::function<void(const array<char>&)>;

// split_limit >= 1 stops after that many splits; 0 or less splits everywhere.
// The rest after the last split is always the last piece.
std::vector<string> split(const std::string& text, char separator, int split_limit = 0);

std::vector<string> split(const std::string& text, const std::string& separator, int split_limit = 0,
    bool respect_quotes = false, bool keep_empty = true);

// Hands every piece to the callback as a view into text; empty text makes no
// call. An empty callback throws std::bad_function_call.
void split(const std::string& text, char separator, const split_callback& callback, int split_limit = 0);
void split(const char* text, std::size_t length, char separator, const split_callback& callback,
    int split_limit = 0);

} // namespace ktk
