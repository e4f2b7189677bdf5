// Starts vorla-sim as a child process on a free port of 127.0.0.1 for the life
// of the object, and reads what it recorded.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "center/soap.h"
#include "common/json.h"

namespace vorla::testing {

class SimProcess {
public:
    SimProcess(const std::string& scenario_dir, const std::string& record_dir) : record_dir_(record_dir) {
        int out[2];
        if (::pipe(out) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // no simulator outlives a crashed test
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            ::execl(VORLA_SIM_PATH, VORLA_SIM_PATH, "--port", "0", "--scenario", scenario_dir.c_str(), "--record",
                    record_dir.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        // "listening on PORT\n", within ten seconds.
        std::string line;
        pollfd p{out[0], POLLIN, 0};
        while (line.find('\n') == std::string::npos && ::poll(&p, 1, 10000) > 0) {
            char buf[64];
            const ssize_t n = ::read(out[0], buf, sizeof buf);
            if (n <= 0) break;
            line.append(buf, static_cast<size_t>(n));
        }
        ::close(out[0]);
        const std::string prefix = "listening on ";
        if (line.rfind(prefix, 0) == 0) port_ = std::atoi(line.c_str() + prefix.size());
    }

    ~SimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }

    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    int port() const { return port_; }
    std::string base_url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    // The center address as vorla.ini holds it: the URL of the service description.
    std::string center_address() const { return base_url() + std::string(center::kServicePath) + "?WSDL"; }

    // Every request recorded so far, in order.
    std::vector<json::Value> records() const {
        std::vector<json::Value> out;
        std::ifstream in(record_dir_ + "/requests.jsonl", std::ios::binary);
        for (std::string line; std::getline(in, line);)
            if (auto v = json::parse_lenient(line)) out.push_back(std::move(*v));
        return out;
    }

    // The recorded requests with that method ("GET" for descriptions and schemas,
    // "POST" for calls).
    std::vector<json::Value> records(const std::string& method) const {
        std::vector<json::Value> out;
        for (auto& r : records())
            if (r.member("method") && r.member("method")->as_text() == method) out.push_back(r);
        return out;
    }

private:
    std::string record_dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace vorla::testing
