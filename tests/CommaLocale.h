#pragma once
// The process under a locale whose numbers have a decimal comma, as a host
// built on GTK or Qt sets it from its user's environment, for the scope of a
// test; the C locale again after it, whatever the outcome.
//
// The locale is de_DE.UTF-8 (scripts/setup.sh generates it). Where it is
// missing the test is skipped, or fails under CI (CI=true, as .ci/run sets
// it), where a skip would count as a pass.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace kv_test
{
class CommaLocale
{
public:
    static constexpr const char* kName = "de_DE.UTF-8";

    CommaLocale()
    {
        char text[16] = {};
        if (std::setlocale(LC_ALL, kName) != nullptr)
            std::snprintf(text, sizeof(text), "%g", 0.5);
        active_ = std::strcmp(text, "0,5") == 0;
    }
    ~CommaLocale() { std::setlocale(LC_ALL, "C"); }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    bool Active() const { return active_; }
    static bool Required()
    {
        const char* ci = std::getenv("CI");
        return ci != nullptr && (std::string(ci) == "true" || std::string(ci) == "1");
    }

private:
    bool active_ = false;
};
} // namespace kv_test

// Skips the test, or fails it under CI, when the locale is not active.
#define KV_REQUIRE_COMMA_LOCALE(locale)                                                                                \
    do                                                                                                                 \
    {                                                                                                                  \
        if (!(locale).Active())                                                                                        \
        {                                                                                                              \
            if (kv_test::CommaLocale::Required())                                                                      \
                FAIL() << "the locale " << kv_test::CommaLocale::kName << " is missing (scripts/setup.sh generates it)"; \
            GTEST_SKIP() << "the locale " << kv_test::CommaLocale::kName << " is missing (scripts/setup.sh generates it)"; \
        }                                                                                                              \
    } while (false)
