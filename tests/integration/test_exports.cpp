// Drives the built library through its four exports, loaded as a host loads it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "common/base64.h"
#include "common/text.h"
#include "platform/platform.h"
#include "support.h"
#include "vorla/vorla.h"

namespace vorla {
namespace {

class Exports : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::setenv("VORLA_SYSTEM_DIR", system_dir_->path().c_str(), 1);
        std::string error;
        library_ = platform::DynamicLibrary::open(VORLA_LIBRARY_PATH, error).release();
        ASSERT_NE(library_, nullptr) << error;
        invoke_ = reinterpret_cast<decltype(invoke_)>(library_->symbol("invoke"));
        tembro_ = reinterpret_cast<decltype(tembro_)>(library_->symbol("tembro_invoke"));
        node_ = reinterpret_cast<decltype(node_)>(library_->symbol("node_invoke"));
        nodeaddon_ = reinterpret_cast<decltype(nodeaddon_)>(library_->symbol("nodeaddon_invoke"));
        ASSERT_TRUE(invoke_ && tembro_ && node_ && nodeaddon_);
    }
    static void TearDownTestSuite() {
        delete library_;
        library_ = nullptr;
        delete system_dir_;
        system_dir_ = nullptr;
    }

    // The answer through invoke: the buffer's bytes up to the first zero.
    static std::string via_invoke(const std::string& request, std::vector<char>& buf) {
        const char* req = request.c_str();
        char* out = buf.data();
        invoke_(&req, &out);
        return std::string(buf.data());
    }

    static inline testing::TempDir* system_dir_ = new testing::TempDir;
    static inline platform::DynamicLibrary* library_ = nullptr;
    static inline void (*invoke_)(const char* const*, char* const*) = nullptr;
    static inline void (*tembro_)(const char*, char*) = nullptr;
    static inline void (*node_)(const char*, char* const*) = nullptr;
    static inline void (*nodeaddon_)(const char*, char* const*) = nullptr;
};

std::string request_for(const std::string& biztype) {
    return "{functionname:'bizbuss',params:{hid:'H0001',biztype:'" + biztype +
           "',ip:'10.1.1.1',indata:'<?xml version=\"1.0\" encoding=\"GBK\"?><DATA/>'}}";
}

TEST_F(Exports, AllFourGiveTheSameAnswer) {
    const std::string rejection = gbk("{returnCode:0,exception:'非法的函数名'}");
    // Answers of 39 bytes (rejection), of a few hundred and of about 10 000 bytes.
    const std::vector<std::pair<std::string, std::string>> requests = {
        {"{functionname:'BizBuss'}", rejection},
        {"{\"functionname\":\"bizbuss\",\"params\":{}}", ""},
        {request_for("J3"), ""},
        {request_for(std::string(9700, 'Q')), ""},
    };
    for (const auto& [request, expected] : requests) {
        std::vector<char> a(20000, '#'), b(20000, '#');
        const std::string answer = via_invoke(request, a);
        if (!expected.empty()) EXPECT_EQ(answer, expected);
        EXPECT_EQ(a[answer.size()], '\0');
        tembro_(request.c_str(), b.data());
        EXPECT_EQ(a, b) << "invoke and tembro_invoke leave byte-identical buffers";

        std::vector<char> n(20000, '#');
        char* np = n.data();
        node_(request.c_str(), &np);
        const std::string encoded = base64_encode(answer);
        EXPECT_EQ(std::string(n.data(), encoded.size()), encoded);
        EXPECT_EQ(n[encoded.size()], '#') << "node_invoke writes nothing after the characters";

        std::vector<char> u(40000, '#');
        char* up = u.data();
        nodeaddon_(request.c_str(), &up);
        std::string utf8 = platform::gbk_to_utf8(answer);
        utf8.push_back('\0');
        const std::string encoded_utf8 = base64_encode(utf8);
        EXPECT_EQ(std::string(u.data(), encoded_utf8.size()), encoded_utf8);
        EXPECT_EQ(u[encoded_utf8.size()], '#');
    }
}

TEST_F(Exports, TenThousandByteAnswerComesBackWhole) {
    const std::string biztype(9800, 'Q');
    std::vector<char> buf(20000, '#');
    const std::string answer = via_invoke(request_for(biztype), buf);
    ASSERT_GT(answer.size(), 10000u);
    EXPECT_NE(answer.find("<APP>" + biztype + "</APP>"), std::string::npos);
    EXPECT_EQ(answer.substr(answer.size() - 7), "</DATA>");

    std::vector<char> n(20000, '\0');
    char* np = n.data();
    node_(request_for(biztype).c_str(), &np);
    EXPECT_EQ(base64_decode(std::string(n.data())), answer);
}

TEST_F(Exports, NullPointersAndGarbageReturnNormally) {
    std::vector<char> buf(64, '#');
    char* out = buf.data();
    invoke_(nullptr, &out);
    EXPECT_EQ(std::string(buf.data()), gbk("{returnCode:0,exception:'非法的函数名'}"));
    invoke_(nullptr, nullptr);
    node_(nullptr, nullptr);
    nodeaddon_(nullptr, nullptr);
    const std::string garbage = "\xff\xfe{'\\x";
    std::vector<char> g(64, '#');
    tembro_(garbage.c_str(), g.data());
    EXPECT_EQ(std::string(g.data()), gbk("{returnCode:0,exception:'非法的函数名'}"));
}

TEST_F(Exports, TheLibraryExportsExactlyTheFourFunctions) {
    FILE* p = ::popen(("nm -D --defined-only " + std::string(VORLA_LIBRARY_PATH) + " | awk '{print $3}' | sort").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string names;
    char line[256];
    while (std::fgets(line, sizeof line, p)) names += line;
    ::pclose(p);
    EXPECT_EQ(names, "invoke\nnode_invoke\nnodeaddon_invoke\ntembro_invoke\n");
}

}  // namespace
}  // namespace vorla
