// vorla-sim: serves the remote services of the library on 127.0.0.1 for tests,
// the demo and integrators. See README.md.
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "../common/args.h"
#include "sim.h"

namespace {

constexpr const char* kUsage =
    "usage: vorla-sim [--port N] [--scenario DIR] [--record DIR]\n"
    "\n"
    "Simulates the insurance center (service description and sbiz endpoint at\n"
    "/RemoteFacedeBean/RemoteFacedeBeanService) on 127.0.0.1, and offers a\n"
    "generic HTTP endpoint under /http/ (GET or POST):\n"
    "    /http/status/CODE[?body=TEXT&type=CONTENT_TYPE]  answers with that status\n"
    "    /http/redirect/CODE[?to=URL]    3xx (302 without CODE) to URL\n"
    "                                    (default /http/status/200)\n"
    "    /http/delay/MS[?body=TEXT]      answers 200 after MS milliseconds\n"
    "    /http/echo                      answers a JSON text of the request: method,\n"
    "                                    path, query, headers, body, body_base64,\n"
    "                                    parts (multipart: name, filename,\n"
    "                                    content_type, content, content_base64)\n"
    "    /http/drop                      closes the connection without an answer\n"
    "\n"
    "  --port N        port to listen on, 1 to 65535; 0 (the default) picks a free one.\n"
    "                  Prints \"listening on PORT\" once the server accepts.\n"
    "  --scenario DIR  answers per business type, read at every request:\n"
    "                    BIZ.xml    GBK answer document, packed and returned\n"
    "                    BIZ.fault  SOAP fault with this GBK text\n"
    "                    BIZ.raw    returned as the result text without packing\n"
    "                               (empty file: empty result; garbage: bad Base64)\n"
    "                    BIZ.http   bare HTTP status (e.g. 503) without SOAP\n"
    "                    BIZ.delay  milliseconds to wait before answering\n"
    "                    BIZ.drop   close the connection without answering\n"
    "                    service.wsdl, service.xsd  replace the description and\n"
    "                               schema (${endpoint}, ${base}, ${namespace} filled in)\n"
    "                  Without an entry: a success answer for the business type.\n"
    "  --record DIR    appends every request to DIR/requests.jsonl (one JSON\n"
    "                  object per line: seq, method, path, query, arg0..arg4,\n"
    "                  document_base64 (unpacked GBK bytes), document (UTF-8)...;\n"
    "                  /http/ requests: content_type, body_base64, headers, parts).\n"
    "  --help, -h      this text.\n"
    "Unknown options and bad numbers are refused with exit code 2.\n";

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    std::string scenario, record;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << "vorla-sim: " << arg << " needs a value\n" << kUsage;
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--port") {
            const std::string text = value();
            const auto number = vorla::tools::parse_number(text, 0, 65535);
            if (!number) {
                std::cerr << "vorla-sim: --port " << text
                          << ": not a port number (1 to 65535, or 0 for a free port)\n";
                return 2;
            }
            port = static_cast<int>(*number);
        } else if (arg == "--scenario") {
            scenario = value();
        } else if (arg == "--record") {
            record = value();
        } else {
            std::cerr << "vorla-sim: unknown option " << arg << " (see vorla-sim --help)\n";
            return 2;
        }
    }

    if (!scenario.empty() && !std::filesystem::is_directory(scenario))
        std::cerr << "vorla-sim: warning: the scenario folder " << scenario
                  << " does not exist; every business type gets a success answer\n";

    // SIGINT and SIGTERM stop the server; they are taken by a thread of their own.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    httplib::Server server;
    // Head and body of an answer leave without waiting for an acknowledgement
    // (Nagle's algorithm off); an idle kept connection is closed after 5 s.
    server.set_tcp_nodelay(true);
    server.set_keep_alive_timeout(5);
    std::unique_ptr<vorla::sim::Recorder> recorder;
    if (!record.empty()) recorder = std::make_unique<vorla::sim::Recorder>(record);
    vorla::sim::Context context{scenario, recorder.get(), {}};

    const int bound = port == 0 ? server.bind_to_any_port("127.0.0.1")
                                : (server.bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0) {
        std::cerr << "vorla-sim: cannot listen on 127.0.0.1:" << port << "\n";
        return 1;
    }
    context.base_url = "http://127.0.0.1:" + std::to_string(bound);
    vorla::sim::add_services(server, context);

    // The server runs in a thread of its own; "listening" is announced once it
    // accepts connections, so that a stop signal never comes before the server
    // can be stopped (a stop before that would be lost and the server run on).
    std::atomic<bool> finished{false};
    bool served = false;
    std::thread listener([&] {
        served = server.listen_after_bind();
        finished = true;
    });
    while (!server.is_running() && !finished) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (finished) {
        listener.join();
        std::cerr << "vorla-sim: the server did not start\n";
        return 1;
    }
    std::printf("listening on %d\n", bound);
    std::fflush(stdout);

    int sig = 0;
    sigwait(&stop_signals, &sig);
    server.stop();
    // A connection that a client keeps open would hold its worker until the
    // idle time-out (5 s); a stop does not wait for that. Requests in progress
    // get half a second to finish, then the process ends without them.
    for (int waited = 0; !finished && waited < 500; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!finished) {
        std::fflush(nullptr);
        std::_Exit(0);
    }
    listener.join();
    return served ? 0 : 1;
}
