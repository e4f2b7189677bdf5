// The settlement choices dialog as a Win32 window, in the layout of the Linux
// view: the logic is query::TF_display; this shows it modally within the call,
// runs its FormShow and forwards the cashier's clicks to its handlers. The two
// check lists are owner-drawn list boxes whose check marks are the logic's.
#include "ui/settlement_view.h"

#include <algorithm>
#include <exception>

#include "common/text.h"
#include "platform/display.h"
#include "platform/platform.h"
#include "platform/win32/views/control_ids.h"
#include "platform/win32/views/window_kit.h"
#include "ui/settlement_layout.h"

namespace vorla::ui {
namespace {

namespace kit = platform::win32::views;

using namespace settlement_layout;
constexpr int kCheckItemHeight = 20;

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;
constexpr UINT_PTR kHookTimer = 2;
constexpr UINT kListClicked = WM_APP + 1;  // wParam: list id, lParam: item index

class View {
public:
    explicit View(query::TF_display& form)
        : form_(form),
          heights_(heights(form.basic_fields().size(), form.treatment_fields().size(),
                           form.insurance_types().size())) {}

    DialogOutcome run(ShownHook on_shown, void* hook_data) {
        const std::wstring class_name = platform::win32::widen(kSettlementWindowClass);
        kit::WindowClass window_class(class_name.c_str(), &View::proc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
        if (!window_class.ok()) return {DialogClose::Unavailable, "the dialog's window class cannot be registered"};
        kit::ModalScope modal;
        const SIZE size = kit::window_size_for_client(kWindowWidth, heights_.window, kStyle, kExStyle);
        const std::wstring caption = platform::win32::widen(form_.caption());
        window_ = ::CreateWindowExW(kExStyle, class_name.c_str(), caption.c_str(), kStyle, CW_USEDEFAULT,
                                    CW_USEDEFAULT, size.cx, size.cy, modal.owner(), nullptr, kit::module_instance(),
                                    this);
        if (!window_)
            return {DialogClose::Unavailable, "the dialog window cannot be created: " +
                                                  platform::gbk_to_utf8(platform::win32::error_text(::GetLastError()))};
        build();
        try {
            form_.FormShow();
        } catch (const std::exception&) {
            // FormShow's failures are ignored.
        }
        refresh_all();
        kit::centre(window_);
        ::ShowWindow(window_, SW_SHOW);
        ::SetForegroundWindow(window_);
        ::UpdateWindow(window_);
        if (form_.focus_on_ok()) ::SetFocus(ok_);
        hook_ = on_shown;
        hook_data_ = hook_data;
        if (hook_) ::SetTimer(window_, kHookTimer, 300, nullptr);
        while (!done_ && ::IsWindow(window_))
            if (!kit::pump_message(window_)) break;
        if (::IsWindow(window_)) {
            ::KillTimer(window_, kHookTimer);
            ::DestroyWindow(window_);
        }
        return {closed_, {}};
    }

private:
    // ---- building the form -------------------------------------------------------
    HWND label(int x, int y, int w, int h, const std::string& gbk_text, DWORD style = SS_LEFT) {
        return kit::make_control(window_, L"STATIC", gbk_text, style | SS_NOPREFIX, x, y, w, h, -1, font_.handle());
    }

    // Read-only fields with their labels in three columns from (x, y).
    void fields(int x, int y, const std::vector<query::LabelledText>& list, int first_id, std::vector<HWND>& out) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            const int col = static_cast<int>(i % 3), row = static_cast<int>(i / 3);
            const int fx = x + col * kColumnWidth, fy = y + row * kRowHeight;
            label(fx + 6, fy, kLabelWidth - 10, kRowHeight - 4, list[i].label, SS_RIGHT | SS_CENTERIMAGE);
            out.push_back(kit::make_control(window_, L"EDIT", "", ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP,
                                            fx + kLabelWidth, fy, kFieldWidth, kRowHeight - 4,
                                            first_id + static_cast<int>(i), font_.handle(), WS_EX_CLIENTEDGE));
        }
    }

    HWND group(int x, int y, int w, int h, const std::string& gbk_title) {
        // The title sits on the frame's top edge, where the Linux view puts it above the frame.
        return kit::make_control(window_, L"BUTTON", gbk_title, BS_GROUPBOX, x, y - 18, w, h + 18, -1,
                                 font_.handle());
    }

    HWND check_list(int x, int y, int w, int id, const std::string& gbk_title) {
        label(x, y - 20, w, 18, gbk_title);
        HWND list = kit::make_control(window_, L"LISTBOX", "",
                                      LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                                          WS_VSCROLL | WS_TABSTOP,
                                      x, y, w, kListHeight, id, font_.handle(), WS_EX_CLIENTEDGE);
        // Clicks and the space bar on an item toggle its check box.
        ::SetWindowLongPtrW(list, GWLP_USERDATA,
                            ::SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&View::list_proc)));
        return list;
    }

    void build() {
        const auto basic = form_.basic_fields();
        const auto treatment = form_.treatment_fields();
        const int types = static_cast<int>(form_.insurance_types().size());

        // "基础信息"
        int y = kMargin + 20;
        group(kMargin, y, kWindowWidth - 2 * kMargin, heights_.basic, gbk("基础信息"));
        int gy = y + kMargin;
        fields(kMargin, gy, basic, platform::win32::views::kSettlementBasicId, basic_);
        gy += field_rows(basic.size()) * kRowHeight;
        label(kMargin + 6, gy, kLabelWidth - 10, 22, gbk("人员附加信息"), SS_RIGHT);
        memo_ = kit::make_control(window_, L"EDIT", "",
                                  ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP,
                                  kMargin + kLabelWidth, gy, kWindowWidth - 3 * kMargin - kLabelWidth, 60,
                                  platform::win32::views::kSettlementMemoId, font_.handle(), WS_EX_CLIENTEDGE);
        y += heights_.basic + kMargin + 20;

        // "待遇信息"
        group(kMargin, y, kWindowWidth - 2 * kMargin, heights_.treatment, gbk("待遇信息"));
        gy = y + 25;
        group(2 * kMargin, gy + 4, kWindowWidth - 4 * kMargin, heights_.radio - 4, gbk("参保险种"));
        for (int i = 0; i < types; ++i) {
            radios_.push_back(kit::make_control(
                window_, L"BUTTON", kit::literal_label(form_.insurance_types()[static_cast<std::size_t>(i)]),
                BS_RADIOBUTTON | WS_TABSTOP | (i == 0 ? WS_GROUP : 0),
                2 * kMargin + 5 + (i % kRadioColumns) * kRadioWidth, gy + kMargin + (i / kRadioColumns) * 24,
                kRadioWidth - 10, 22, platform::win32::views::kSettlementRadioId + i, font_.handle()));
        }
        gy += heights_.radio + 5;
        fields(kMargin, gy, treatment, platform::win32::views::kSettlementTreatmentId, treatment_);
        gy += field_rows(treatment.size()) * kRowHeight;
        gy += 25;
        categories_ = check_list(2 * kMargin, gy, kListWidth, platform::win32::views::kSettlementCategoriesId,
                                 gbk("医疗类别(请选择其中一种进行就医)"));
        diseases_ = check_list(3 * kMargin + kListWidth, gy, kListWidth, platform::win32::views::kSettlementDiseasesId,
                               gbk("病种信息(请选择其中一种进行就医)"));
        label(4 * kMargin + 2 * kListWidth, gy - 20, kListWidth, 18, gbk("就医信息"));
        information_ = kit::make_control(window_, L"LISTBOX", "",
                                         LBS_NOINTEGRALHEIGHT | LBS_NOSEL | WS_VSCROLL | WS_TABSTOP,
                                         4 * kMargin + 2 * kListWidth, gy, kListWidth, kListHeight,
                                         platform::win32::views::kSettlementInformationId, font_.handle(),
                                         WS_EX_CLIENTEDGE);
        y += heights_.treatment + kMargin;

        ok_ = kit::make_control(window_, L"BUTTON", gbk("确定[&O]"), BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP,
                                kWindowWidth - 2 * (100 + kMargin), y, 100, 30,
                                platform::win32::views::kSettlementOkId, font_.handle());
        kit::make_control(window_, L"BUTTON", gbk("放弃[&C]"), BS_PUSHBUTTON | WS_TABSTOP,
                          kWindowWidth - (100 + kMargin), y, 100, 30, IDCANCEL, font_.handle());
    }

    // ---- showing the logic's state ---------------------------------------------------
    static void set_fields(const std::vector<HWND>& fields, const std::vector<query::LabelledText>& list) {
        for (std::size_t i = 0; i < fields.size() && i < list.size(); ++i)
            if (kit::text_of(fields[i]) != list[i].text) kit::set_text(fields[i], list[i].text);
    }

    static void set_lines(HWND list, const std::vector<std::string>& lines) {
        ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
        for (const auto& line : lines) {
            const std::wstring w = platform::win32::widen(line);
            ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str()));
        }
        ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(list, nullptr, TRUE);
    }

    // A check list: its lines rebuilt when its items changed, else only redrawn
    // (the marks are drawn from the logic).
    static void set_checks(HWND list, std::vector<std::string>& shown, const std::vector<query::CheckItem>& items) {
        std::vector<std::string> texts;
        for (const auto& item : items) texts.push_back(item.text);
        if (texts != shown) {
            set_lines(list, texts);
            shown = std::move(texts);
        } else {
            ::InvalidateRect(list, nullptr, TRUE);
        }
    }

    void refresh_all() {
        set_fields(basic_, form_.basic_fields());
        set_fields(treatment_, form_.treatment_fields());
        std::string memo;  // the edit control's line ends
        for (char c : form_.additional_information()) {
            if (c == '\n' && (memo.empty() || memo.back() != '\r')) memo += '\r';
            memo += c;
        }
        if (kit::text_of(memo_) != memo) kit::set_text(memo_, memo);
        for (std::size_t i = 0; i < radios_.size(); ++i)
            ::SendMessageW(radios_[i], BM_SETCHECK,
                           static_cast<int>(i) == form_.selected_insurance_type() ? BST_CHECKED : BST_UNCHECKED, 0);
        set_checks(categories_, shown_categories_, form_.categories());
        set_checks(diseases_, shown_diseases_, form_.diseases());
        if (form_.information() != shown_information_) {
            set_lines(information_, form_.information());
            shown_information_ = form_.information();
        }
    }

    // ---- drawing the check lists -------------------------------------------------------
    const std::vector<query::CheckItem>* items_of(HWND list) const {
        if (list == categories_) return &form_.categories();
        if (list == diseases_) return &form_.diseases();
        return nullptr;
    }

    void draw_item(const DRAWITEMSTRUCT& d) {
        const auto* items = items_of(d.hwndItem);
        if (!items || d.itemID == static_cast<UINT>(-1)) return;
        const bool selected = (d.itemState & ODS_SELECTED) != 0;
        ::FillRect(d.hDC, &d.rcItem, ::GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
        const bool checked = d.itemID < items->size() && (*items)[d.itemID].checked;
        const int box = std::min(14, static_cast<int>(d.rcItem.bottom - d.rcItem.top) - 4);
        RECT check{d.rcItem.left + 3, d.rcItem.top + (d.rcItem.bottom - d.rcItem.top - box) / 2, 0, 0};
        check.right = check.left + box;
        check.bottom = check.top + box;
        ::DrawFrameControl(d.hDC, &check, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_FLAT | (checked ? DFCS_CHECKED : 0));
        const int n = static_cast<int>(::SendMessageW(d.hwndItem, LB_GETTEXTLEN, d.itemID, 0));
        std::wstring text(static_cast<std::size_t>(std::max(n, 0)) + 1, L'\0');
        ::SendMessageW(d.hwndItem, LB_GETTEXT, d.itemID, reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(std::max(n, 0)));
        RECT r = d.rcItem;
        r.left = check.right + 5;
        ::SetBkMode(d.hDC, TRANSPARENT);
        ::SetTextColor(d.hDC, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        ::DrawTextW(d.hDC, text.c_str(), static_cast<int>(text.size()), &r,
                    DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
        if (d.itemState & ODS_FOCUS) ::DrawFocusRect(d.hDC, &d.rcItem);
    }

    static LRESULT CALLBACK list_proc(HWND list, UINT message, WPARAM wp, LPARAM lp) {
        const auto original = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(list, GWLP_USERDATA));
        const LRESULT result = ::CallWindowProcW(original, list, message, wp, lp);
        int item = -1;
        if (message == WM_LBUTTONDOWN) {
            const LRESULT hit = ::SendMessageW(list, LB_ITEMFROMPOINT, 0, lp);
            if (HIWORD(hit) == 0) item = LOWORD(hit);
        } else if (message == WM_KEYDOWN && wp == VK_SPACE) {
            item = static_cast<int>(::SendMessageW(list, LB_GETCARETINDEX, 0, 0));
        }
        if (item >= 0 && item < static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0)))
            ::SendMessageW(::GetParent(list), kListClicked, static_cast<WPARAM>(::GetDlgCtrlID(list)), item);
        return result;
    }

    // ---- handlers ------------------------------------------------------------------------
    template <class F>
    void guarded(F&& f) {
        try {
            f();
            refresh_all();
        } catch (const std::exception&) {
            // A handler's failure leaves the form as it was.
        }
    }

    void on_command(int id, int code) {
        const int first_radio = platform::win32::views::kSettlementRadioId;
        if (id >= first_radio && id < first_radio + static_cast<int>(radios_.size()) &&
            (code == BN_CLICKED || code == BN_DOUBLECLICKED)) {
            guarded([this, id, first_radio] { form_.select_insurance_type(id - first_radio); });
        } else if (id == platform::win32::views::kSettlementOkId && code == BN_CLICKED) {
            close(DialogClose::Ok);
        } else if (id == IDCANCEL) {
            close(DialogClose::Cancel);
        }
    }

    void on_list_clicked(int id, int item) {
        if (id == platform::win32::views::kSettlementCategoriesId)
            guarded([this, item] { form_.click_category(item); });
        else if (id == platform::win32::views::kSettlementDiseasesId)
            guarded([this, item] { form_.click_disease(item); });
    }

    void close(DialogClose how) {
        closed_ = how;
        done_ = true;
    }

    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
        View* self = kit::window_object<View>(window, message, lp);
        if (!self) return ::DefWindowProcW(window, message, wp, lp);
        if (message == WM_NCCREATE) self->window_ = window;
        switch (message) {
            case WM_COMMAND: self->on_command(LOWORD(wp), HIWORD(wp)); return 0;
            case kListClicked: self->on_list_clicked(static_cast<int>(wp), static_cast<int>(lp)); return 0;
            case WM_MEASUREITEM:
                reinterpret_cast<MEASUREITEMSTRUCT*>(lp)->itemHeight = kCheckItemHeight;
                return TRUE;
            case WM_DRAWITEM: self->draw_item(*reinterpret_cast<DRAWITEMSTRUCT*>(lp)); return TRUE;
            case WM_TIMER:
                if (wp == kHookTimer) {
                    ::KillTimer(window, kHookTimer);
                    if (self->hook_) self->hook_(self->hook_data_);
                }
                return 0;
            case WM_CLOSE: self->close(DialogClose::Cancel); return 0;
            case WM_NCDESTROY: ::SetWindowLongPtrW(window, GWLP_USERDATA, 0); break;
            default: break;
        }
        return ::DefWindowProcW(window, message, wp, lp);
    }

    query::TF_display& form_;
    const Heights heights_;
    kit::Font font_;
    HWND window_ = nullptr;
    std::vector<HWND> basic_, treatment_;
    HWND memo_ = nullptr;
    std::vector<HWND> radios_;
    HWND categories_ = nullptr;
    HWND diseases_ = nullptr;
    HWND information_ = nullptr;
    HWND ok_ = nullptr;
    std::vector<std::string> shown_categories_, shown_diseases_, shown_information_;
    DialogClose closed_ = DialogClose::Cancel;
    bool done_ = false;
    ShownHook hook_ = nullptr;
    void* hook_data_ = nullptr;
};

}  // namespace

DialogOutcome show_settlement_window(query::TF_display& form, ShownHook on_shown, void* hook_data) {
    std::string error;
    if (!platform::prepare_display(error)) return {DialogClose::Unavailable, error};
    View view(form);
    return view.run(on_shown, hook_data);
}

}  // namespace vorla::ui
