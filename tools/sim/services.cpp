// The services of the simulator. A new service is one add_* function listed here.
#include "sim.h"

namespace vorla::sim {

void add_invoice_services(httplib::Server& server, Context& context);  // invoice_services.cpp

void add_services(httplib::Server& server, Context& context) {
    add_center_service(server, context);
    add_card_services(server, context);
    add_monitor_services(server, context);
    add_http_service(server, context);
    add_invoice_services(server, context);
}

}  // namespace vorla::sim
