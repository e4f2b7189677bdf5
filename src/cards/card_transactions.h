// The card transactions: J8 reads the social security card directly, J1 lets
// the cashier choose the card in the card type dialog, J0 runs J1 and answers
// with the card holder dataset's XML data packet.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "common/datetime.h"
#include "entry/invoke_request.h"

namespace vorla::cards {

void handle_j0(const InvokeRequest& request, std::string& out);
void handle_j1(const InvokeRequest& request, std::string& out);
void handle_j8(const InvokeRequest& request, std::string& out);

// A card date that is no valid yyyymmdd date.
struct CardDateError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Characters 1-4, 5-6 and 7-8 of a yyyymmdd text as a date. Throws
// CardDateError when they do not give a valid date.
DateValue ParseCardDate(std::string_view text);

}  // namespace vorla::cards
