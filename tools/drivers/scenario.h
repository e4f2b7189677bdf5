// What the simulated drivers share: the scenario file named by
// $VORLA_DRIVER_SCENARIO and the record of calls beside it. See README.md.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorla::drivers {

// The value for `function`.`field` at this call: "<function>.<n>.<field>" for
// the n-th call of the function (1-based) when the scenario has it, else
// "<function>.<field>", else nullopt. Values are UTF-8 as written in the file.
std::optional<std::string> value(std::string_view function, int call, std::string_view field);

// Records one call (arguments as UTF-8 texts) in "<scenario>.calls" and
// returns its number among the calls of that function (1-based), counting the
// calls recorded before it.
int record_call(std::string_view function, const std::vector<std::string>& arguments = {});

// Integer of a value (default when absent or not a number).
int int_value(const std::optional<std::string>& v, int fallback);

std::string utf8_to_gbk(std::string_view utf8);
std::string gbk_to_utf8(std::string_view gbk);

// Copies a GBK text with its NUL into an area of `size` bytes, cut to fit.
void put_text(char* area, std::size_t size, std::string_view text);

}  // namespace vorla::drivers

#ifdef _WIN32
// Exported undecorated (the DLLs link with --kill-at), as the real drivers are.
#define VORLA_DRIVER_EXPORT extern "C" __declspec(dllexport)
#elif defined(VORLA_DRIVER_HOLLOW)
// A component that loads but offers none of its functions (a wrong or broken
// version installed on the workstation).
#define VORLA_DRIVER_EXPORT extern "C" __attribute__((visibility("hidden")))
#else
#define VORLA_DRIVER_EXPORT extern "C" __attribute__((visibility("default")))
#endif
