// One call of the library, whatever export it came through.
#pragma once

#include <string>
#include <string_view>

namespace vorla {

// Reloads the configuration, parses the request, serves "bizbuss" through the
// dispatcher and returns the GBK answer. Never throws.
std::string run_invoke(std::string_view request_gbk);

// Library load and unload.
void library_loaded();
void library_unloaded();

}  // namespace vorla
