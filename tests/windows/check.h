#pragma once

// A small harness for the cross-built tests: named groups of table-driven cases, checks that
// report with the row they ran in and carry on, and an exit code that tells CTest the result.

#include <cstdio>
#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

namespace Check {

struct State
{
    std::string group;
    std::string row;
    int checks = 0;
    int failures = 0;
};

inline State &state()
{
    static State s;
    return s;
}

inline std::string show(const std::string &bytes)
{
    std::string out = "\"";
    for (const unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    return out + "\"";
}

inline std::string show(const char *text)
{
    return text ? show(std::string(text)) : "null";
}

inline std::string show(bool value)
{
    return value ? "true" : "false";
}

template<class T> std::string show(const T &value)
{
    std::ostringstream out;
    if constexpr (std::is_pointer_v<T>) {
        out << static_cast<const void *>(value);
    } else {
        out << value;
    }
    return out.str();
}

inline std::string show(const std::wstring &text)
{
    std::string out;
    for (const wchar_t c : text) {
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return show(out);
}

template<class T> std::string show(const std::optional<T> &value)
{
    return value ? show(*value) : "nullopt";
}

template<class T> std::string show(const std::vector<T> &values)
{
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        out += (i ? ", " : "") + show(values[i]);
    }
    return out + "]";
}

inline bool report(bool passed, const std::string &what, const char *file, int line)
{
    State &s = state();
    ++s.checks;
    if (!passed) {
        ++s.failures;
        std::printf("FAIL %s [%s]: %s (%s:%d)\n", s.group.c_str(), s.row.c_str(), what.c_str(),
                    file, line);
    }
    return passed;
}

template<class A, class E>
bool equal(const A &actual, const E &expected, const char *expression, const char *file, int line)
{
    const bool passed = actual == expected;
    return report(passed,
                  passed ? std::string()
                         : std::string(expression) + " is " + show(actual) + ", expected " +
                               show(expected),
                  file, line);
}

// Names the table row that the following checks belong to.
inline void row(const std::string &name)
{
    state().row = name;
}

struct Group
{
    const char *name;
    void (*run)();
};

// Runs the groups named on the command line (all when none is named).
inline int main(int argc, char **argv, const std::vector<Group> &groups)
{
    std::vector<const Group *> chosen;
    for (int i = 1; i < argc; ++i) {
        const Group *found = nullptr;
        for (const Group &g : groups) {
            if (std::strcmp(g.name, argv[i]) == 0) {
                found = &g;
            }
        }
        if (!found) {
            std::printf("unknown group %s\n", argv[i]);
            return 2;
        }
        chosen.push_back(found);
    }
    if (chosen.empty()) {
        for (const Group &g : groups) {
            chosen.push_back(&g);
        }
    }
    State &s = state();
    for (const Group *g : chosen) {
        const int checksBefore = s.checks;
        const int failuresBefore = s.failures;
        s.group = g->name;
        s.row = "-";
        g->run();
        const int checks = s.checks - checksBefore;
        if (checks == 0) {
            std::printf("FAIL %s: ran no checks\n", g->name);
            ++s.failures;
        }
        std::printf("%s: %d checks, %d failed\n", g->name, checks, s.failures - failuresBefore);
    }
    std::fflush(stdout);
    return s.failures ? 1 : 0;
}

} // namespace Check

#define CHECK(condition) Check::report(static_cast<bool>(condition), #condition, __FILE__, __LINE__)
#define CHECK_EQ(actual, expected) Check::equal((actual), (expected), #actual, __FILE__, __LINE__)
