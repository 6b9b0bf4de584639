// An environment variable set or cleared for one test, then put back.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

class ScopedVariable {
public:
    // A null value clears the variable.
    ScopedVariable(const char* name, const char* value) : name(name) {
        if (const char* old = std::getenv(name)) {
            previous = old;
        }
        set(value);
    }
    ~ScopedVariable() { set(previous ? previous->c_str() : nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    void set(const char* value) {
        if (value == nullptr) {
            ::unsetenv(name);
        } else {
            ::setenv(name, value, 1);
        }
    }
    const char* name;
    std::optional<std::string> previous;
};
