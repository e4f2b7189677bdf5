// libFuzzer target for the lenient JSON reader: parses the input, walks the
// tree and traps when the tree breaks one of the reader's promises.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/json.h"

namespace {

using vorla::json::Value;

void check(bool ok) {
    if (!ok) __builtin_trap();
}

void walk(const Value& v, int depth) {
    using Kind = Value::Kind;
    const bool container = v.kind == Kind::Array || v.kind == Kind::Object;
    if (container) ++depth;
    check(depth <= vorla::json::kMaxDepth);

    switch (v.kind) {
        case Kind::Null:
            check(v.text.empty());
            break;
        case Kind::Boolean:
            check(v.text == "true" || v.text == "false");
            break;
        case Kind::Number:
            check(!v.text.empty());
            break;
        case Kind::String:
        case Kind::Array:
        case Kind::Object:
            break;
    }
    check(v.kind == Kind::Array || v.items.empty());
    check(v.kind == Kind::Object || v.members.empty());
    check(!container || v.text.empty());
    check(v.as_text() == (v.kind == Kind::Null || container ? std::string() : v.text));

    for (const auto& item : v.items) walk(item, depth);
    for (std::size_t i = 0; i < v.members.size(); ++i) {
        const auto& [name, member] = v.members[i];
        // Lookup finds the last member of that name.
        const Value* found = v.member(name);
        check(found != nullptr);
        std::size_t last = i;
        for (std::size_t j = i + 1; j < v.members.size(); ++j) {
            if (v.members[j].first == name) last = j;
        }
        check(found == &v.members[last].second);
        walk(member, depth);
    }
    if (v.kind != Kind::Object) check(v.member("") == nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto parsed = vorla::json::parse_lenient(text)) walk(*parsed, 0);
    return 0;
}
