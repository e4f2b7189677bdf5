// vorla-sim: a local simulator of the remote services the library talks to.
//
// Every service is a set of routes added to one HTTP server by an add_*
// function (see services.cpp for the list). Routes answer from the scenario
// directory and record every request they get.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorla::sim {

// One JSON object per line in <record dir>/requests.jsonl. Values are UTF-8
// texts (or raw JSON for numbers and booleans).
class Recorder {
public:
    explicit Recorder(std::string directory);
    // Appends one record; "seq" (1, 2, ...) is put first.
    void record(std::vector<std::pair<std::string, std::string>> text_fields,
                std::vector<std::pair<std::string, std::string>> raw_fields = {});

private:
    std::string path_;
    std::mutex mutex_;
    long long next_ = 1;
};

struct Context {
    std::string scenario_directory;  // "" when none was given
    Recorder* recorder = nullptr;    // nullptr when nothing is recorded
    std::string base_url;            // http://127.0.0.1:PORT
};

// Contents of <scenario dir>/<name>; nullopt when there is no such file (or no
// scenario directory, or `name` is not a plain file name).
std::optional<std::string> scenario_file(const Context& context, std::string_view name);

// The business type as a scenario file stem: letters, digits, "-" and "_" only;
// "" for anything else.
std::string scenario_stem(std::string_view biztype);

// A JSON string literal (quotes included) of UTF-8 text.
std::string json_string(std::string_view utf8);

// Records what every route needs: method, path, query.
std::vector<std::pair<std::string, std::string>> request_fields(const httplib::Request& request);

// Closes the connection of `request` at once (both directions shut), so that
// the client gets no answer at all; what the route then answers is never sent.
void drop_connection(const httplib::Request& request);

// Waits `delay` before the route answers; returns early when the client closes
// the connection meanwhile (nobody would read the answer).
void wait_for(const httplib::Request& request, std::chrono::milliseconds delay);

// The socket of the connection that carried `request`; -1 when not found.
int connection_socket(const httplib::Request& request);

// ---- services ---------------------------------------------------------------
// The insurance center: service description, schema and the `sbiz` endpoint.
void add_center_service(httplib::Server& server, Context& context);

// The generic HTTP endpoint under /http/: status, redirect, delay, echo, drop.
void add_http_service(httplib::Server& server, Context& context);

// The monitoring service (/his/realcheck/audit) and the J10 upload endpoint
// (/upload): see monitor_services.cpp.
void add_monitor_services(httplib::Server& server, Context& context);

// The authentication service (yd_1903, yd_1904) and the qrcode action: card_services.cpp.
void add_card_services(httplib::Server& server, Context& context);

// Every service, in the order they are added.
void add_services(httplib::Server& server, Context& context);

}  // namespace vorla::sim
