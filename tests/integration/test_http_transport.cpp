// The HTTP transport against fake peers that misbehave: trickling answers,
// answers without end, connections closed at the worst moment, redirects to
// other hosts; each peer counts the connections and requests it received.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "center/center_client.h"
#include "center/packing.h"
#include "center/soap.h"
#include "common/text.h"
#include "interceptor/http_helpers.h"
#include "platform/http.h"
#include "loopback.h"
#include "support.h"

namespace vorla {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Request {
    std::string method, path, head, body;
};

// A peer on 127.0.0.1 that serves one connection at a time with `serve`, which
// returns when it is done with the connection (the peer then closes it).
class FakePeer {
public:
    using Serve = std::function<void(FakePeer&, int fd)>;

    explicit FakePeer(Serve serve) : serve_(std::move(serve)) {
        listener_ = testing::listen_on_loopback(port_);
        thread_ = std::thread([this] { run(); });
    }
    ~FakePeer() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }

    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    int connections() const { return connections_; }
    int requests() const { return requests_; }
    std::vector<Request> received() {
        std::lock_guard lock(mutex_);
        return received_;
    }
    bool stopping() const { return stop_; }

    // Reads one request (head and Content-Length body); false when the
    // connection ended first or the peer is stopping.
    bool read_request(int fd, Request& r) {
        std::string data = std::move(pending_);
        pending_.clear();
        size_t head_end;
        while ((head_end = data.find("\r\n\r\n")) == std::string::npos)
            if (!read_some(fd, data)) return false;
        r.head = data.substr(0, head_end + 4);
        r.method = r.head.substr(0, r.head.find(' '));
        const size_t p = r.head.find(' ') + 1;
        r.path = r.head.substr(p, r.head.find(' ', p) - p);
        size_t length = 0;
        for (const char* name : {"Content-Length: ", "content-length: "})
            if (const size_t at = r.head.find(name); at != std::string::npos)
                length = std::stoul(r.head.substr(at + std::strlen(name)));
        data.erase(0, head_end + 4);
        while (data.size() < length)
            if (!read_some(fd, data)) return false;
        r.body = data.substr(0, length);
        pending_ = data.substr(length);
        ++requests_;
        std::lock_guard lock(mutex_);
        received_.push_back(r);
        return true;
    }

    static void write_all(int fd, std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) return;
            bytes.remove_prefix(static_cast<size_t>(n));
        }
    }
    static std::string answer(int status, std::string_view body, std::string_view extra = {}) {
        return "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\n" + std::string(extra) + "\r\n" + std::string(body);
    }

private:
    bool read_some(int fd, std::string& data) {
        char buffer[65536];
        for (;;) {
            if (stop_) return false;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) == 0) {
                // A client that opened another connection is done with this one.
                pollfd l{listener_, POLLIN, 0};
                if (::poll(&l, 1, 0) > 0) return false;
                continue;
            }
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) return false;
            data.append(buffer, static_cast<size_t>(n));
            return true;
        }
    }
    void run() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            ++connections_;
            pending_.clear();
            serve_(*this, fd);
            ::close(fd);
        }
    }

    Serve serve_;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0}, requests_{0};
    std::mutex mutex_;
    std::vector<Request> received_;
    std::string pending_;
};

// Answers every request on the connection with 200 and `body`, keeping it open.
FakePeer::Serve keep_answering(std::string body) {
    return [body](FakePeer& peer, int fd) {
        Request r;
        while (peer.read_request(fd, r)) FakePeer::write_all(fd, FakePeer::answer(200, body));
    };
}

class HttpTransport : public ::testing::Test {
protected:
    void SetUp() override { platform::http_close_kept_connections(); }
    void TearDown() override {
        http::set_deadlines(0ms, 0ms);
        http::set_read_timeout(0ms);
        center::set_unpack_limit(0);
        platform::http_close_kept_connections();
    }
};

// ---- bounded time ----------------------------------------------------------------

// Head at once, then one byte of the body every 200 ms: never 10 s of silence.
void trickle(FakePeer& peer, int fd) {
    Request r;
    if (!peer.read_request(fd, r)) return;
    FakePeer::write_all(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
    while (!peer.stopping()) {
        FakePeer::write_all(fd, "x");
        std::this_thread::sleep_for(200ms);
        if (::send(fd, "", 0, MSG_NOSIGNAL) < 0) return;
    }
}

TEST_F(HttpTransport, TricklingPeerEndsEveryOperationAtItsDeadline) {
    testing::TempDir dir;
    testing::write_file(dir / "a.txt", "upload");
    http::set_deadlines(1500ms, 2000ms);
    struct Case {
        const char* name;
        std::function<std::string(const std::string&)> call;
    };
    const Case cases[] = {
        {"json", [](const std::string& u) { return http::json_post(u, "{}").text; }},
        {"form", [](const std::string& u) { return http::form_post(u, "{}").text; }},
        {"upload", [&dir](const std::string& u) { return http::upload_file(u, dir / "a.txt", "a").text; }},
    };
    for (const Case& c : cases) {
        FakePeer peer(trickle);
        const auto started = Clock::now();
        const std::string text = c.call(peer.url("/slow"));
        const auto took = Clock::now() - started;
        EXPECT_LT(took, 6s) << c.name << ": " << text;
        EXPECT_GE(took, 1400ms) << c.name << ": " << text;
        EXPECT_NE(text.find("timed out"), std::string::npos) << c.name << ": " << text;
        EXPECT_EQ(peer.requests(), 1) << c.name;
    }
    EXPECT_EQ(http::kTextDeadline, 30s);
    EXPECT_EQ(http::kUploadDeadline, 10min);
}

// ---- bounded memory ----------------------------------------------------------------

TEST_F(HttpTransport, AnswerBeyondTheLimitFailsTheRequest) {
    FakePeer peer([](FakePeer& p, int fd) {
        Request r;
        if (!p.read_request(fd, r)) return;
        FakePeer::write_all(fd, FakePeer::answer(200, std::string(3 << 20, 'a')));
    });
    platform::HttpRequest request;
    request.url = peer.url("/big");
    request.timeout = 10s;
    request.answer_limit = size_t{1} << 20;
    const platform::HttpResponse r = platform::http_request(request);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "the answer is larger than 1048576 bytes");
    EXPECT_TRUE(r.body.empty());
    EXPECT_EQ(platform::kDefaultAnswerLimit, size_t{64} << 20);
}

TEST_F(HttpTransport, PackedAnswerInflatingBeyondTheLimitIsRefused) {
    // 65 MiB of zeros packs to well under 0.1 MiB.
    const std::string bomb = center::pack(std::string(center::kUnpackLimit + 1, '\0'));
    EXPECT_LT(bomb.size(), size_t{1} << 20);
    try {
        center::unpack(bomb);
        ADD_FAILURE() << "unpacked beyond the limit";
    } catch (const center::UnpackError& e) {
        EXPECT_STREQ(e.what(), "the unpacked answer is larger than 67108864 bytes");
    }
    // Exactly the limit still unpacks.
    center::set_unpack_limit(1000);
    EXPECT_EQ(center::unpack(center::pack(std::string(1000, 'a'))), std::string(1000, 'a'));
    EXPECT_THROW(center::unpack(center::pack(std::string(1001, 'a'))), center::UnpackError);
}

// ---- redirects ------------------------------------------------------------------------

// Answers the first request with `status` and Location `to`, then the next with 200 "moved".
FakePeer::Serve redirect_once(int status, std::function<std::string()> to) {
    return [status, to](FakePeer& peer, int fd) {
        Request r;
        while (peer.read_request(fd, r)) {
            if (peer.requests() == 1)
                FakePeer::write_all(fd, FakePeer::answer(status, "", "Location: " + to() + "\r\n"));
            else
                FakePeer::write_all(fd, FakePeer::answer(200, "moved"));
        }
    };
}

TEST_F(HttpTransport, RedirectedPostKeepsMethodAndBodyExcept303) {
    testing::SystemDir system;
    struct Case {
        int status;
        const char* method;
        const char* body;
    };
    const Case cases[] = {{301, "POST", "{\"a\":1}"}, {302, "POST", "{\"a\":1}"}, {307, "POST", "{\"a\":1}"},
                          {308, "POST", "{\"a\":1}"}, {303, "GET", ""}};
    for (const Case& c : cases) {
        FakePeer* self = nullptr;
        FakePeer peer(redirect_once(c.status, [&self] { return self->url("/audit/moved"); }));
        self = &peer;
        // The monitoring service redirects: the audit request reaches its new place.
        const std::string answer = http::monitoring_post(peer.url("/audit"), "{\"a\":1}");
        EXPECT_EQ(answer, "moved") << c.status;
        const std::vector<Request> got = peer.received();
        ASSERT_EQ(got.size(), 2u) << c.status;
        EXPECT_EQ(got[1].path, "/audit/moved");
        EXPECT_EQ(got[1].method, c.method) << c.status;
        EXPECT_EQ(got[1].body, c.body) << c.status;
    }
}

// A minimal description of the center whose endpoint is `endpoint`.
std::string description(const std::string& endpoint) {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<definitions xmlns="http://schemas.xmlsoap.org/wsdl/" xmlns:soap="http://schemas.xmlsoap.org/wsdl/soap/"
 xmlns:tns="http://center.vorla.local/" targetNamespace="http://center.vorla.local/" name="RemoteFacedeBeanService">
<service name="RemoteFacedeBeanService"><port name="RemoteFacedeBean" binding="tns:B">
<soap:address location=")" + endpoint + R"("/></port></service></definitions>)";
}

std::string sbiz_answer(const std::string& document) {
    return R"(<?xml version="1.0" encoding="UTF-8"?><S:Envelope xmlns:S="http://schemas.xmlsoap.org/soap/envelope/"><S:Body>)"
           R"(<ns2:sbizResponse xmlns:ns2="http://center.vorla.local/"><return>)" +
           center::pack(document) + "</return></ns2:sbizResponse></S:Body></S:Envelope>";
}

const std::string kDocument = R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><APP>C0</APP></HEAD></DATA>)";

std::string exchange_with(const std::string& address) {
    center::forget_service_descriptions();
    center::set_transport_timeout(10s);
    return center::exchange_with_current_timeout(address, "12345678|secret", "C0", "10.1.1.1", kDocument, "{}");
}

TEST_F(HttpTransport, CenterFollowsRedirectsOnlyWithinItsOrigin) {
    FakePeer elsewhere(keep_answering("elsewhere"));
    // The description redirected to another host (a port is another origin).
    {
        FakePeer center(redirect_once(302, [&elsewhere] { return elsewhere.url("/wsdl"); }));
        const std::string out = exchange_with(center.url("/RemoteFacedeBean/RemoteFacedeBeanService?WSDL"));
        EXPECT_NE(out.find(center::network_prefix() + "redirect refused"), std::string::npos) << out;
    }
    // The call redirected with 307 to another host: the packed document and
    // the key after "|" do not leave.
    {
        FakePeer* self = nullptr;
        FakePeer center([&](FakePeer& peer, int fd) {
            Request r;
            while (peer.read_request(fd, r)) {
                if (r.method == "GET")
                    FakePeer::write_all(fd, FakePeer::answer(200, description(self->url("/call"))));
                else
                    FakePeer::write_all(fd, FakePeer::answer(307, "", "Location: " + elsewhere.url("/call") + "\r\n"));
            }
        });
        self = &center;
        const std::string out = exchange_with(center.url("/RemoteFacedeBean/RemoteFacedeBeanService?WSDL"));
        EXPECT_NE(out.find(center::network_prefix() + "redirect refused"), std::string::npos) << out;
        EXPECT_EQ(center.requests(), 2);
    }
    EXPECT_EQ(elsewhere.requests(), 0) << "a request of the center went to another host";
    // Within the same origin the call is followed with its body.
    FakePeer* self = nullptr;
    FakePeer center([&](FakePeer& peer, int fd) {
        Request r;
        while (peer.read_request(fd, r)) {
            if (r.method == "GET")
                FakePeer::write_all(fd, FakePeer::answer(200, description(self->url("/call"))));
            else if (r.path == "/call")
                FakePeer::write_all(fd, FakePeer::answer(307, "", "Location: /call2\r\n"));
            else
                FakePeer::write_all(fd, FakePeer::answer(200, r.body.find("secret") != std::string::npos
                                                                  ? sbiz_answer("<answer/>")
                                                                  : std::string("no body")));
        }
    });
    self = &center;
    EXPECT_EQ(exchange_with(center.url("/RemoteFacedeBean/RemoteFacedeBeanService?WSDL")), "<answer/>");
}

// ---- kept connections, never a duplicate ----------------------------------------------

TEST_F(HttpTransport, FirstExchangeAndLaterCallsShareOneConnection) {
    FakePeer* self = nullptr;
    FakePeer center([&](FakePeer& peer, int fd) {
        Request r;
        while (peer.read_request(fd, r))
            FakePeer::write_all(fd, FakePeer::answer(200, r.method == "GET" ? description(self->url("/call"))
                                                                             : sbiz_answer("<ok/>")));
    });
    self = &center;
    const std::string address = center.url("/RemoteFacedeBean/RemoteFacedeBeanService?WSDL");
    center::forget_service_descriptions();
    center::set_transport_timeout(10s);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(center::exchange_with_current_timeout(address, "12345678", "C0", "10.1.1.1", kDocument, "{}"),
                  "<ok/>");
    EXPECT_EQ(center.requests(), 6);  // the description once, five calls
    EXPECT_EQ(center.connections(), 1);
}

// The second request on a kept connection is read and the connection closed
// without an answer: the center saw it once, the call fails, nothing is sent again.
TEST_F(HttpTransport, KeptConnectionClosedAfterReadingTheRequestIsNeverSentAgain) {
    FakePeer peer([](FakePeer& p, int fd) {
        Request r;
        while (p.read_request(fd, r)) {
            if (p.requests() == 2) return;  // read, then closed
            FakePeer::write_all(fd, FakePeer::answer(200, "one"));
        }
    });
    const auto post = [&peer](const char* body) {
        return platform::http_post(peer.url("/d1"), {{"Content-Type", "text/plain"}}, body, 10s);
    };
    const platform::HttpResponse first = post("first");
    ASSERT_TRUE(first.ok) << first.error;
    const platform::HttpResponse second = post("second");
    EXPECT_FALSE(second.ok);
    EXPECT_NE(second.error.find("not sent again"), std::string::npos) << second.error;
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(peer.requests(), 2) << "the request was sent again";
    // The same through a text POST (no body rewinding either way).
    const http::Result third = http::json_post(peer.url("/d1"), "{}");
    EXPECT_TRUE(third.ok) << third.text;
    EXPECT_EQ(peer.requests(), 3);
}

// The peer closes right after each answer (without saying so): the next
// request goes on a new connection, once, and is answered.
TEST_F(HttpTransport, KeptConnectionClosedAfterTheAnswerGivesANewConnection) {
    FakePeer peer([](FakePeer& p, int fd) {
        Request r;
        if (p.read_request(fd, r)) FakePeer::write_all(fd, FakePeer::answer(200, "one"));
    });
    for (int i = 0; i < 3; ++i) {
        const platform::HttpResponse r =
            platform::http_post(peer.url("/d1"), {{"Content-Type", "text/plain"}}, "body", 10s);
        EXPECT_TRUE(r.ok) << i << ": " << r.error;
        std::this_thread::sleep_for(100ms);  // the close has arrived
    }
    EXPECT_EQ(peer.requests(), 3);
    EXPECT_EQ(peer.connections(), 3);
}

TEST_F(HttpTransport, ConnectionCloseAndIdleConnectionsAreNotReused) {
    FakePeer closing([](FakePeer& p, int fd) {
        Request r;
        while (p.read_request(fd, r)) FakePeer::write_all(fd, FakePeer::answer(200, "x", "Connection: close\r\n"));
    });
    FakePeer keeping(keep_answering("x"));
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(platform::http_get(closing.url("/"), 10s).ok);
        EXPECT_TRUE(platform::http_get(keeping.url("/"), 10s).ok);
    }
    EXPECT_EQ(closing.connections(), 2);
    EXPECT_EQ(keeping.connections(), 1);
    std::this_thread::sleep_for(platform::kKeptConnectionIdle + 300ms);
    EXPECT_TRUE(platform::http_get(keeping.url("/"), 10s).ok);
    EXPECT_EQ(keeping.connections(), 2) << "a connection idle too long was used again";
}

// ---- private CA ------------------------------------------------------------------------

TEST_F(HttpTransport, CaFileFromTheEnvironmentIsTheOneTrusted) {
    FakePeer peer(keep_answering("x"));
    const std::string url = "https://127.0.0.1:" + peer.url("/").substr(std::string("http://127.0.0.1:").size());
    testing::TempDir dir;
    const std::string missing = dir / "没有的-ca.pem";
    ::setenv("VORLA_CA_FILE", missing.c_str(), 1);
    const platform::HttpResponse r = platform::http_get(url, 5s);
    ::unsetenv("VORLA_CA_FILE");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(missing), std::string::npos) << r.error;
}

}  // namespace
}  // namespace vorla
