#include "cards/id_card.h"

#include "common/text.h"
#include "platform/fs.h"
#include "platform/platform.h"

namespace vorla::cards {
namespace {

void fail(TCardOut& record, std::string text) {
    record.ResultCode = -1;
    record.ErrorText = std::move(text);
}

// The name of the first function the reader lacks, "" when it has them all.
const char* first_missing(const IdCardApi& r) {
    const std::pair<const void*, const char*> table[] = {
        {reinterpret_cast<const void*>(r.dc_init), "dc_init"},
        {reinterpret_cast<const void*>(r.dc_find_i_d), "dc_find_i_d"},
        {reinterpret_cast<const void*>(r.dc_start_i_d), "dc_start_i_d"},
        {reinterpret_cast<const void*>(r.dc_i_d_query_name), "dc_i_d_query_name"},
        {reinterpret_cast<const void*>(r.dc_i_d_query_id_number), "dc_i_d_query_id_number"},
        {reinterpret_cast<const void*>(r.dc_i_d_query_sex), "dc_i_d_query_sex"},
        {reinterpret_cast<const void*>(r.dc_i_d_query_birth), "dc_i_d_query_birth"},
        {reinterpret_cast<const void*>(r.dc_i_d_query_address), "dc_i_d_query_address"},
        {reinterpret_cast<const void*>(r.dc_i_d_query_department), "dc_i_d_query_department"},
        {reinterpret_cast<const void*>(r.dc_i_d_query_expire_day), "dc_i_d_query_expire_day"},
        {reinterpret_cast<const void*>(r.dc_i_d_query_nation), "dc_i_d_query_nation"},
        {reinterpret_cast<const void*>(r.dc_i_d_query_photo_file), "dc_i_d_query_photo_file"},
        {reinterpret_cast<const void*>(r.dc_end_i_d), "dc_end_i_d"},
        {reinterpret_cast<const void*>(r.dc_exit), "dc_exit"},
    };
    for (const auto& [fn, name] : table)
        if (!fn) return name;
    return "";
}

// Characters `from` (0-based) to from+count of a text, cut short without failing.
std::string part(const std::string& s, std::size_t from, std::size_t count) {
    return from < s.size() ? s.substr(from, count) : std::string();
}

}  // namespace

std::string id_photo_path() {
    return platform::system_directory() + platform::path_separator() + "IDphoto.jpg";
}

IdCardContext default_id_card_context() {
    IdCardContext c;
    c.reader = id_card_reader(c.reader_error);
    c.photo_path = id_photo_path();
    return c;
}

void ReadIdCard(TCardOut& record) { ReadIdCard(default_id_card_context(), record); }

void ReadIdCard(const IdCardContext& context, TCardOut& record) {
    if (!context.reader) return fail(record, context.reader_error);
    const IdCardApi& r = *context.reader;
    if (const char* missing = first_missing(r); *missing) return fail(record, missing_function_text(missing));

    const int h = r.dc_init(100, 100);
    if (h < 0) return fail(record, gbk("读卡器连接失败！"));
    if (r.dc_find_i_d(h) < 0) {
        fail(record, gbk("无卡！"));
    } else if (const int d = r.dc_start_i_d(h); d < 0) {
        fail(record, gbk("无卡！"));
    } else {
        record.PersonName = driver_text(r.dc_i_d_query_name(d));
        record.IdNumber = driver_text(r.dc_i_d_query_id_number(d));
        record.Sex = driver_text(r.dc_i_d_query_sex(d)) == gbk("男") ? "1" : "2";
        record.BirthDate = driver_text(r.dc_i_d_query_birth(d));
        const std::string address = driver_text(r.dc_i_d_query_address(d));
        const std::string authority = driver_text(r.dc_i_d_query_department(d));
        const std::string validity = driver_text(r.dc_i_d_query_expire_day(d));
        const std::string nation = driver_text(r.dc_i_d_query_nation(d));
        record.IssueDate = record.BirthDate;
        record.CardId = address + "|" + authority + "|" + part(validity, 0, 8) + "|" + part(validity, 8, 8) + "|" +
                        nation + "|";
        if (r.dc_i_d_query_photo_file(d, platform::native_path(context.photo_path).c_str()) >= 0) {
            r.dc_end_i_d(d);
            record.ResultCode = 1;
        } else {
            fail(record, gbk("保存图片失败！"));
            r.dc_end_i_d(d);
        }
    }
    // Every handle that dc_init gave (0 included) is closed again.
    r.dc_exit(h);
}

}  // namespace vorla::cards
