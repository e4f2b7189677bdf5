// How the four exports hand an answer to their caller.
#pragma once

#include <string>

namespace vorla {

// invoke / tembro_invoke: four spaces first, then the answer from offset 0 and
// a zero byte after it. The buffer must hold max(4, size + 1) bytes.
void write_invoke_answer(char* buffer, const std::string& answer);

// The answer as the node variants see it: up to its first zero byte.
std::string up_to_zero(std::string answer);

// node_invoke: the Base64 characters of the GBK answer, copied from offset 0,
// no terminator.
std::string node_answer(const std::string& answer_gbk);

// nodeaddon_invoke: the Base64 of the answer in UTF-8 followed by one zero byte.
std::string nodeaddon_answer(const std::string& answer_gbk);
void write_nodeaddon_answer(char* buffer, const std::string& encoded);

}  // namespace vorla
