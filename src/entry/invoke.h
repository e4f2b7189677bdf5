// One call of the library, whatever export it came through.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace vorla {

// Reloads the configuration, parses the request, serves "bizbuss" through the
// dispatcher and returns the GBK answer. Never throws. Calls are served one at a
// time: a call from another thread waits for the one in progress (hosts are to
// call from one thread, but some do not), while the same thread may call again
// during its own call (a Windows host's message loop runs inside a modal dialog).
std::string run_invoke(std::string_view request_gbk);

// The process-wide lock that run_invoke holds for the whole call.
std::recursive_mutex& call_lock();

// Library load and unload.
void library_loaded();
void library_unloaded();

}  // namespace vorla
