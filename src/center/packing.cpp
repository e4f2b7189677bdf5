#include "center/packing.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <mutex>

#include "common/base64.h"

namespace vorla::center {
namespace {

constexpr size_t kPiece = 16384;

std::string zlib_message(const z_stream& s, int rc) {
    if (s.msg) return s.msg;
    if (const char* text = zError(rc); text && *text) return text;
    return "zlib error " + std::to_string(rc);
}

// One deflate state for the process, reset between documents (the same bytes
// as a fresh one, without allocating and clearing it again); used under its
// mutex. (Not thread_local: that would keep the library from unloading.)
struct Deflater {
    std::mutex mutex;
    z_stream s{};
    bool ready = false;
    ~Deflater() {
        if (ready) deflateEnd(&s);
    }
    z_stream& take() {
        if (ready && deflateReset(&s) != Z_OK) {
            deflateEnd(&s);
            ready = false;
        }
        if (!ready) {
            s = z_stream{};
            if (deflateInit(&s, Z_DEFAULT_COMPRESSION) != Z_OK) throw std::runtime_error(zlib_message(s, Z_STREAM_ERROR));
            ready = true;
        }
        return s;
    }
};

std::atomic<size_t> g_unpack_limit{kUnpackLimit};

}  // namespace

void set_unpack_limit(size_t bytes) { g_unpack_limit = bytes > 0 ? bytes : kUnpackLimit; }

std::string pack(std::string_view document) {
    static Deflater deflater;
    std::lock_guard lock(deflater.mutex);
    z_stream& s = deflater.take();
    std::string compressed;
    compressed.reserve(deflateBound(&s, static_cast<uLong>(document.size())));
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(document.data()));
    size_t left = document.size();
    char piece[kPiece];
    int rc = Z_OK;
    do {
        const uInt chunk = static_cast<uInt>(std::min<size_t>(left, std::numeric_limits<uInt>::max()));
        s.avail_in = chunk;
        left -= chunk;
        const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        do {
            s.next_out = reinterpret_cast<Bytef*>(piece);
            s.avail_out = kPiece;
            rc = deflate(&s, flush);
            compressed.append(piece, kPiece - s.avail_out);
        } while (s.avail_out == 0);
    } while (left > 0);
    if (rc != Z_STREAM_END) throw std::runtime_error(zlib_message(s, rc));
    return base64_encode_lines(compressed);
}

std::string unpack(std::string_view packed) {
    const std::string bytes = base64_decode(packed);
    if (bytes.empty()) return {};
    z_stream s{};
    if (inflateInit(&s) != Z_OK) throw UnpackError(zlib_message(s, Z_STREAM_ERROR));
    struct End {
        z_stream* s;
        ~End() { inflateEnd(s); }
    } end{&s};
    if (bytes.size() > std::numeric_limits<uInt>::max()) throw UnpackError("compressed data too large");
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    s.avail_in = static_cast<uInt>(bytes.size());
    std::string out;
    char piece[kPiece];
    const size_t limit = g_unpack_limit.load();
    for (;;) {
        s.next_out = reinterpret_cast<Bytef*>(piece);
        s.avail_out = kPiece;
        const int rc = inflate(&s, Z_NO_FLUSH);
        const size_t got = kPiece - s.avail_out;
        if (got > limit - std::min(limit, out.size()))
            throw UnpackError("the unpacked answer is larger than " + std::to_string(limit) + " bytes");
        out.append(piece, got);
        if (rc == Z_STREAM_END) return out;
        if (rc == Z_OK) continue;
        if (rc == Z_BUF_ERROR && s.avail_in == 0) throw UnpackError("unexpected end of the compressed data");
        throw UnpackError(zlib_message(s, rc));
    }
}

}  // namespace vorla::center
