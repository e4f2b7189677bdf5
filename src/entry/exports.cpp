// The four exported functions. The node variants take the answer directly as a
// text sized to it, so no intermediate buffer can be overrun.
#include <cstring>
#include <string>

#include "entry/answer_buffer.h"
#include "entry/invoke.h"
#include "vorla/vorla.h"

namespace {

std::string run(const char* request) { return vorla::run_invoke(request ? request : ""); }

struct LoadUnload {
    LoadUnload() { vorla::library_loaded(); }
    ~LoadUnload() { vorla::library_unloaded(); }
} g_load_unload;

}  // namespace

extern "C" {

VORLA_API void VORLA_CALL invoke(const char* const* request, char* const* answer) {
    try {
        std::string text = run(request ? *request : nullptr);
        if (answer && *answer) vorla::write_invoke_answer(*answer, text);
    } catch (...) {
    }
}

VORLA_API void VORLA_CALL tembro_invoke(const char* request, char* answer) { invoke(&request, &answer); }

VORLA_API void VORLA_CALL node_invoke(const char* request, char* const* answer) {
    try {
        std::string encoded = vorla::node_answer(run(request));
        if (answer && *answer) std::memcpy(*answer, encoded.data(), encoded.size());
    } catch (...) {
    }
}

VORLA_API void VORLA_CALL nodeaddon_invoke(const char* request, char* const* answer) {
    try {
        std::string encoded = vorla::nodeaddon_answer(run(request));
        if (answer && *answer) vorla::write_nodeaddon_answer(*answer, encoded);
    } catch (...) {
    }
}

}  // extern "C"
