// The card record: what every way of identifying a patient ends in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorla::cards {

// One read's outcome. A fresh record holds ResultCode 0 and empty texts; the
// handler that asked for the read creates it just before and drops it after.
// Every text is GBK.
struct TCardOut {
    std::int32_t ResultCode = 0;  // 1 read; -1 failed; the e-voucher leaves other negative codes
    std::string RegionCode;       // administrative division of the issuing region
    std::string IdNumber;         // identity (social security) number; typed or scanned text first
    std::string CardNo;           // social security card number
    std::string CardId;           // card identifier (its content depends on the reader)
    std::string PersonName;
    std::string ResetInfo;        // card reset information; e-voucher token
    std::string SpecVersion;      // version of the card standard the card follows
    std::string IssueDate;        // yyyymmdd
    std::string ValidUntil;
    std::string BirthDate;        // yyyymmdd
    std::string Sex;              // "1" male, "2" female
    std::string TerminalNo;
    std::string DeviceNo;
    std::string CardType;         // card type code (below)
    std::string ErrorText;        // failure text for the cashier or the caller
};

// Card type codes.
inline constexpr std::string_view kCardTypeSocialCard = "1";  // social security card (card driver)
inline constexpr std::string_view kCardTypeTypedNumber = "3"; // identity number typed by the cashier
inline constexpr std::string_view kCardTypeECard = "4";       // electronic social security card code
inline constexpr std::string_view kCardTypeEVoucher = "5";    // insurance e-voucher
inline constexpr std::string_view kCardTypeIdCard = "6";      // identity card

// Reader numbers of ReadCard.
enum ReaderNumber : int {
    kReaderECardCode = 5,
    kReaderIdCard = 6,
    kReaderTypedNumber = 7,
    kReaderSocialCard = 8,
    kReaderEVoucher = 9,
};

}  // namespace vorla::cards
