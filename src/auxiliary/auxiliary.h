// The auxiliary business types that the library answers itself, without the
// insurance center: J4 (the workstation's address) and J10 (file upload).
#pragma once

#include <string>
#include <string_view>

#include "entry/invoke_request.h"
#include "messages/envelope.h"

namespace vorla {

// J4: the answer's IP is the workstation's local address (empty when the host
// name cannot be resolved); ErrCode "0".
void handle_j4(const InvokeRequest& request, std::string& out);

// J10: uploads FILENAME to POSTURL with NAME in the field "fileName" and reads
// the endpoint's JSON answer: "code" "200" (text or number) gives ErrCode "0" and
// URL = "data"; another code gives ErrDetail = "error"; a failed upload gives
// ErrDetail = the upload's error text.
void handle_j10(const InvokeRequest& request, std::string& out);

// The answer head of J4 and J10: VER, APP, WorkDate, Reserve and ErrDetail of
// the request head, ErrCode "-1".
TDataHead prepared_answer_head(const TDataHead& request_head);

// J10's reading of the endpoint's answer (GBK body): ErrCode, ErrDetail and URL
// set on `head`/`url` as the answer decides; untouched when the body is not a
// JSON object.
void apply_upload_answer(std::string_view body_gbk, TDataHead& head, std::string& url);

}  // namespace vorla
