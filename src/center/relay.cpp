#include "center/relay.h"

#include <exception>

#include "center/center_client.h"
#include "center/client_info.h"
#include "messages/envelope.h"

namespace vorla {

void relay(std::string_view center_address, std::string_view hid, std::string_view biztype,
           std::string_view caller_ip, std::string_view document, std::string& out) {
    try {
        const std::string information = center::client_information_text(center::gather_client_information());
        center::call_center(center_address, hid, biztype, caller_ip, document, information, out);
    } catch (const std::exception& e) {
        out = error_document(biztype, -1, e.what());
    } catch (...) {
        out = error_document(biztype, -1, "unexpected failure of the center link");
    }
}

}  // namespace vorla
