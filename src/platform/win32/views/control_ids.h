// Command identifiers of the controls of the Win32 views, so that automation
// (and the Windows test programs) can find a control with GetDlgItem.
#pragma once

namespace vorla::platform::win32::views {

// Card type selection dialog (class "vorla-card-type").
inline constexpr int kCardTypeItemId = 100;  // 100..104: the items of Rg_cardtype
inline constexpr int kCardTypeEditId = 110;  // E_userid
inline constexpr int kCardTypeChangePinId = 111;
// Btn_ok is IDOK, Btn_cancel IDCANCEL.

// Settlement choices dialog (class "vorla-settlement").
inline constexpr int kSettlementRadioId = 200;  // 200 + i: the i-th insurance type of Radio_xz
inline constexpr int kSettlementBasicId = 400;  // 400 + i: the i-th field of "基础信息"
inline constexpr int kSettlementTreatmentId = 450;  // 450 + i: the i-th data-bound field of "待遇信息"
inline constexpr int kSettlementMemoId = 500;        // M_fjxx
inline constexpr int kSettlementCategoriesId = 501;  // ck_yllb
inline constexpr int kSettlementDiseasesId = 502;    // Ck_jbmc
inline constexpr int kSettlementInformationId = 503;  // lvYbxx
inline constexpr int kSettlementOkId = 510;           // Btn_ok; Btn_cancel is IDCANCEL

// Preview window (class "vorla-preview").
inline constexpr int kPreviewPrintId = 600;
inline constexpr int kPreviewPreviousId = 601;
inline constexpr int kPreviewNextId = 602;
inline constexpr int kPreviewPageLabelId = 603;
inline constexpr int kPreviewZoomOutId = 604;
inline constexpr int kPreviewZoomInId = 605;
inline constexpr int kPreviewCloseId = 606;
inline constexpr int kPreviewPageId = 607;  // the scrolled page area (class "vorla-preview-page")

}  // namespace vorla::platform::win32::views
