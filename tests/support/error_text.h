#pragma once

#include "platform/errors.h"

#include <functional>
#include <string>

namespace quillmere::test {

// The message of the error of class Error that action raises, or "no error".
// An error of another class is not caught, so the test fails on it.
template <class Error = Exception>
std::string errorTextOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const Error &error) {
        return error.what();
    }
    return "no error";
}

} // namespace quillmere::test
