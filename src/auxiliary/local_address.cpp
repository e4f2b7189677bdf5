// J4: the workstation's address.
#include "auxiliary/auxiliary.h"
#include "center/client_info.h"
#include "messages/catalogue.h"
#include "messages/serializer.h"

namespace vorla {

TDataHead prepared_answer_head(const TDataHead& request_head) {
    TDataHead head;
    head.VER = request_head.VER;
    head.APP = request_head.APP;
    head.WorkDate = request_head.WorkDate;
    head.Reserve = request_head.Reserve;
    head.ErrCode = "-1";
    head.ErrDetail = request_head.ErrDetail;
    return head;
}

void handle_j4(const InvokeRequest& request, std::string& out) {
    TJ4InBean in;
    read_bean(request.param("indata"), in);
    TJ4OutBean answer;
    answer.HEAD = prepared_answer_head(in.HEAD);
    answer.MSG.HEAD.IP = center::local_address();
    answer.HEAD.ErrCode = "0";
    out = write_bean(answer);
}

}  // namespace vorla
