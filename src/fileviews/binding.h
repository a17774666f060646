#pragma once

#include <functional>
#include <utility>

// A two-way binding handed to a view: the owner's current value and a way to write it back.
template <typename T>
struct Binding
{
    T value{};
    std::function<void(const T &)> set;

    void write(const T &newValue) const
    {
        if (set)
            set(newValue);
    }
};
