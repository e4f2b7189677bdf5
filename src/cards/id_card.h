// The identity card reader (reader 6), with the card's photo.
#pragma once

#include <string>

#include "cards/card_record.h"
#include "cards/drivers.h"

namespace vorla::cards {

struct IdCardContext {
    const IdCardApi* reader = nullptr;  // nullptr: not available, see reader_error
    std::string reader_error;
    std::string photo_path;  // where the reader writes the photo
};
// The loaded reader library and the photo file in the system directory.
IdCardContext default_id_card_context();

// "IDphoto.jpg" in the system directory, written anew at every successful read.
std::string id_photo_path();

// Reads the identity card: PersonName, IdNumber, Sex ("1" for "男", else "2"),
// BirthDate and IssueDate (the birth date text as delivered), CardId (address,
// authority, validity start and end, nation, each followed by "|") and the
// photo. Failures: "读卡器连接失败！", "无卡！", "保存图片失败！" (card fields
// filled), or a missing component or function.
void ReadIdCard(TCardOut& record);
void ReadIdCard(const IdCardContext& context, TCardOut& record);

}  // namespace vorla::cards
