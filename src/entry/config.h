// The library's settings: vorla.ini in the system directory, reloaded at the
// start of every call into process-wide values.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace vorla {

inline constexpr std::string_view kClientVersion = "2.2020.12.6";

// The deployment's service host: the host and port of every default address. A
// build for a region sets VORLA_DEFAULT_SERVICE_HOST.
#ifndef VORLA_DEFAULT_SERVICE_HOST
#define VORLA_DEFAULT_SERVICE_HOST "http://127.0.0.1:7001"
#endif
inline constexpr std::string_view kDefaultServiceHost = VORLA_DEFAULT_SERVICE_HOST;

// The default center address: the service host, the SOAP service's path and
// the query that names its service description.
std::string default_center_address();

// The center address without the service path and its "?WSDL" (found whatever
// the letter case): the base of the center's web actions.
std::string center_web_base(std::string_view center_address);
// The fixed term of the call token that the insurance center checks.
inline constexpr long long kBussidConstant = 4729;

struct Configuration {
    bool card_debug = false;  // once on, stays on until the library is unloaded
    std::string center_address;
    std::string auth_address;
    std::string monitor_address;
    bool monitoring = false;
    std::string journal_root;
    std::string save_mode;
    std::string institution_key;
    std::string evoucher_address;
    std::string evoucher_org_id;
    std::string evoucher_use_type;
    std::string evoucher_dept_id;
    std::string evoucher_dept_name;
    std::string evoucher_operator_id;
    std::string evoucher_operator_name;
    // The call token, drawn anew by every load.
    std::string seed;
    std::string bussid;
    // "Unable to write to <path>" when the last load could not write a default
    // (the call then goes on with the defaults); empty otherwise.
    std::string write_failure;
};

// The process-wide values. Calls do not overlap, so no lock guards them.
Configuration& config();

// A file modified shortly before it was read may change again within the file
// system's clock resolution without a visible change of its stamp; only a file
// left alone this long before a load is taken from the remembered values.
inline constexpr std::chrono::milliseconds kConfigurationSettled{2000};

// Reloads vorla.ini (writing back the defaults of missing or blank keys) and
// draws a new call token. While the file keeps the stamp it had after the last
// load (size, modification and change times, identity) and had been left alone
// for `settled` before that load, the values of that load are taken again
// without reading it; any edit, replacement or removal takes effect at the next
// load. A load that could not write a default is never remembered.
void load_configuration(std::chrono::milliseconds settled = kConfigurationSettled);

// Releases the process-wide texts (at unload).
void release_configuration();

// One setting of vorla.ini as the load reads it (texts GBK), for tools that
// inspect a file without loading it.
struct SettingDescription {
    enum class Kind { Text, Switch, TrimmedSwitch };  // switches: on when the value is "true"
    std::string section;
    std::string key;
    std::string default_value;
    Kind kind = Kind::Text;
};

// The fifteen settings in the order the load reads them.
std::vector<SettingDescription> configuration_settings();

// Full path of vorla.ini.
std::string configuration_path();

// The call token's second text for a given seed and local date (yymmdd).
std::string make_bussid(std::string_view seed, int yymmdd);

}  // namespace vorla
