// What the workstation tells the insurance center about itself: its host name,
// the addresses the system's host lookup gives for it, and the path of the host
// executable as text.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vorla::platform {

// The workstation's host name as the system reports it into a 64-byte buffer;
// nullopt when the system cannot tell it.
std::optional<std::string> host_name();

// The IPv4 addresses (dotted decimal) that the system's host lookup gives for
// `name`, in the order of the lookup, each once; nullopt when the lookup fails.
std::optional<std::vector<std::string>> lookup_ipv4(const std::string& name);

// Full path of the host executable as GBK text (the native path converted where
// the file system's names are not GBK); "" when unknown.
std::string host_executable_text();

}  // namespace vorla::platform
