// The services of the simulator. A new service is one add_* function listed here.
#include "sim.h"

namespace vorla::sim {

void add_services(httplib::Server& server, Context& context) {
    add_center_service(server, context);
}

}  // namespace vorla::sim
