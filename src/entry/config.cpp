#include "entry/config.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "center/soap.h"
#include "common/text.h"
#include "journal/log4me.h"
#include "platform/platform.h"

namespace vorla {
namespace {

enum class Rule { Text, DebugSwitch, MonitorSwitch };

struct Setting {
    std::string section;  // GBK, like every text in the file
    std::string key;
    std::string default_value;
    std::string Configuration::*text;
    Rule rule;
};

// The fifteen settings in the order they are read.
const std::vector<Setting>& settings() {
    static const std::vector<Setting> table = [] {
        const std::string host(kDefaultServiceHost);
        std::vector<Setting> t = {
            {"读卡调试模式", "读卡调试模式(true调试,false不调试)", "false", nullptr, Rule::DebugSwitch},
            {"医保交易地址", "医保交易地址", default_center_address(),
             &Configuration::center_address, Rule::Text},
            {"鉴权系统地址", "鉴权系统地址", host + "/galdo_mis_outland/outland/biz",
             &Configuration::auth_address, Rule::Text},
            {"医保监控", "医保监控地址", host + "/his/realcheck/audit", &Configuration::monitor_address,
             Rule::Text},
            {"医保监控", "是否启用医保监控", "false", nullptr, Rule::MonitorSwitch},
            {"医保交易日志", "医保交易保存路径", platform::default_journal_root(),
             &Configuration::journal_root, Rule::Text},
            {"医保交易日志",
             R"(医保交易保存模式(0 路径\\医院代码\\日期\\发起IP\\交易时间.txt , 1 路径\\医院代码\\日期\\发起IP\\日期.txt , 2 路径\\医院代码\\日期.TXT ))",
             "-1", &Configuration::save_mode, Rule::Text},
            {"医疗机构信息", "医疗机构密钥", "11112222|3", &Configuration::institution_key, Rule::Text},
            {"医保电子凭证", "请求地址", host + "/localcfc/api/hsecfc/localQrCodeQuery",
             &Configuration::evoucher_address, Rule::Text},
            {"医保电子凭证", "机构ID", "", &Configuration::evoucher_org_id, Rule::Text},
            {"医保电子凭证", "用码类型", "01101", &Configuration::evoucher_use_type, Rule::Text},
            {"医保电子凭证", "科室ID", "01", &Configuration::evoucher_dept_id, Rule::Text},
            {"医保电子凭证", "科室名称", gbk("结算处"), &Configuration::evoucher_dept_name, Rule::Text},
            {"医保电子凭证", "操作员ID", "0001", &Configuration::evoucher_operator_id, Rule::Text},
            {"医保电子凭证", "操作员姓名", gbk("收费员"), &Configuration::evoucher_operator_name,
             Rule::Text},
        };
        for (auto& s : t) {  // written above in UTF-8
            s.section = gbk(s.section);
            s.key = gbk(s.key);
        }
        return t;
    }();
    return table;
}

std::string reverse_digits(std::string s) { return std::string(s.rbegin(), s.rend()); }

void draw_call_token(Configuration& c) {
    // One generator for the process, seeded from the clock at its first draw:
    // seeding a new one costs more than the whole rest of the load.
    static std::mt19937 rng = [] {
        const auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
        return std::mt19937(static_cast<std::mt19937::result_type>(now ^ (now >> 32)));
    }();
    std::uniform_int_distribution<long long> draw(0, 99999998);
    c.seed = std::to_string(draw(rng) + 10000000);
    const auto t = platform::local_now();
    c.bussid = make_bussid(c.seed, (t.year % 100) * 10000 + t.month * 100 + t.day);
}

// The values of the last full load and the stamp vorla.ini had after it.
struct LoadedFile {
    platform::FileStamp stamp;
    Configuration values;
};

std::optional<LoadedFile>& last_load() {
    static std::optional<LoadedFile> loaded;
    return loaded;
}

std::int64_t wall_clock_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void read_file_into(Configuration& c, const std::string& path) {
    // A file with content of which no setting matched (another encoding, other
    // section names) is named in the diagnostic log before its defaults go in.
    const std::optional<std::uint64_t> size = platform::file_size(path);
    bool matched = false;
    platform::Profile ini(path);
    for (const Setting& s : settings()) {
        if (s.rule == Rule::MonitorSwitch) c.monitoring = false;
        if (s.text) (c.*s.text).clear();
        std::string value = ini.read(s.section, s.key);
        if (!trim(value).empty()) matched = true;
        if (!matched && size && *size > 0 && &s == &settings().back()) {
            try {
                log4me::error(log4me::stamp_serial() + "\t" + gbk("配置文件中没有一项设置可以识别: ") + path);
            } catch (...) {
                // The load does not depend on the diagnostic log.
            }
        }
        if (trim(value).empty()) {
            value = s.default_value;
            try {
                ini.write(s.section, s.key, value);
            } catch (const platform::ProfileWriteError& e) {
                if (c.write_failure.empty()) c.write_failure = e.what();
            }
        }
        switch (s.rule) {
            case Rule::DebugSwitch:
                if (value == "true") c.card_debug = true;
                break;
            case Rule::MonitorSwitch:
                c.monitoring = trim(value) == "true";
                break;
            case Rule::Text:
                c.*s.text = value;
                break;
        }
    }
}

}  // namespace

std::string default_center_address() {
    return std::string(kDefaultServiceHost) + std::string(center::kServicePath) + "?WSDL";
}

std::string center_web_base(std::string_view center_address) {
    return remove_all(center_address, std::string(center::kServicePath) + "?WSDL", true);
}

Configuration& config() {
    static Configuration values;
    return values;
}

std::vector<SettingDescription> configuration_settings() {
    std::vector<SettingDescription> out;
    for (const Setting& s : settings()) {
        const auto kind = s.rule == Rule::DebugSwitch     ? SettingDescription::Kind::Switch
                          : s.rule == Rule::MonitorSwitch ? SettingDescription::Kind::TrimmedSwitch
                                                          : SettingDescription::Kind::Text;
        out.push_back({s.section, s.key, s.default_value, kind});
    }
    return out;
}

std::string configuration_path() {
    return platform::system_directory() + platform::path_separator() + "vorla.ini";
}

std::string make_bussid(std::string_view seed, int yymmdd) {
    std::string version;
    for (char ch : kClientVersion)
        if (ch != '.') version += ch;
    const long long seed_reversed = std::stoll(reverse_digits(std::string(seed)));
    const long long sum = std::stoll(version) + 2LL * yymmdd + kBussidConstant + seed_reversed;
    return reverse_digits(std::to_string(sum));
}

void load_configuration(std::chrono::milliseconds settled) {
    Configuration& c = config();
    c.write_failure.clear();
    const std::string path = configuration_path();
    std::optional<LoadedFile>& cache = last_load();
    const std::optional<platform::FileStamp> now = platform::file_stamp(path);
    if (cache && now && *now == cache->stamp) {
        const bool debug = c.card_debug;
        c = cache->values;
        c.card_debug = c.card_debug || debug;
    } else {
        cache.reset();
        const std::int64_t read_at = wall_clock_ns();
        read_file_into(c, path);
        const std::optional<platform::FileStamp> after = platform::file_stamp(path);
        const std::int64_t settled_ns = std::chrono::nanoseconds(settled).count();
        if (c.write_failure.empty() && after && after->modified_ns < read_at - settled_ns &&
            after->changed_ns < read_at - settled_ns)
            cache = LoadedFile{*after, c};
    }
    draw_call_token(c);
}

void release_configuration() {
    config() = Configuration{};
    last_load().reset();
}

}  // namespace vorla
