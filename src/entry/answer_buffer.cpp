#include "entry/answer_buffer.h"

#include <cstring>

#include "common/base64.h"
#include "platform/platform.h"

namespace vorla {

void write_invoke_answer(char* buffer, const std::string& answer) {
    std::memset(buffer, ' ', 4);
    std::memcpy(buffer, answer.data(), answer.size());
    buffer[answer.size()] = '\0';
}

std::string up_to_zero(std::string answer) {
    auto zero = answer.find('\0');
    if (zero != std::string::npos) answer.resize(zero);
    return answer;
}

std::string node_answer(const std::string& answer_gbk) { return base64_encode(up_to_zero(answer_gbk)); }

std::string nodeaddon_answer(const std::string& answer_gbk) {
    std::string utf8 = platform::gbk_to_utf8(up_to_zero(answer_gbk));
    utf8.push_back('\0');
    return base64_encode(utf8);
}

void write_nodeaddon_answer(char* buffer, const std::string& encoded) {
    std::memset(buffer, ' ', 4);
    std::memcpy(buffer, encoded.data(), encoded.size());
}

}  // namespace vorla
