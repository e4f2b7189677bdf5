// The scripted cashier at the settlement choices dialog.
#include <string_view>

#include "query/code_name.h"
#include "ui/settlement_view.h"

namespace vorla::ui {
namespace {

bool all_digits(std::string_view s) {
    if (s.empty() || s.size() > 9) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// The item an argument names: its whole text, else its code (the text before
// "^"), else its 0-based index.
int resolve(const std::vector<std::string>& texts, const Step& step) {
    for (std::size_t i = 0; i < texts.size(); ++i)
        if (texts[i] == step.argument) return static_cast<int>(i);
    for (std::size_t i = 0; i < texts.size(); ++i)
        if (query::code_of(texts[i]) == step.argument) return static_cast<int>(i);
    if (all_digits(step.argument)) {
        const int index = std::stoi(step.argument);
        if (index < static_cast<int>(texts.size())) return index;
    }
    throw ScriptError("settlement " + step.action + ": no item \"" + step.argument + "\"");
}

std::vector<std::string> texts_of(const std::vector<query::CheckItem>& items) {
    std::vector<std::string> out;
    for (const auto& item : items) out.push_back(item.text);
    return out;
}

}  // namespace

DialogClose run_settlement_script(query::TF_display& form, const std::vector<Step>& steps) {
    form.FormShow();
    for (const Step& step : steps) {
        const std::string& a = step.action;
        if (a == "ok") return DialogClose::Ok;
        if (a == "cancel") return DialogClose::Cancel;
        if (a == "choose") {
            form.select_insurance_type(resolve(form.insurance_types(), step));
        } else if (a == "check_category" || a == "uncheck_category") {
            const int i = resolve(texts_of(form.categories()), step);
            // A click toggles the mark; only a change of the mark is a click.
            if (form.categories()[static_cast<std::size_t>(i)].checked != (a == "check_category"))
                form.click_category(i);
        } else if (a == "check_disease" || a == "uncheck_disease") {
            const int i = resolve(texts_of(form.diseases()), step);
            if (form.diseases()[static_cast<std::size_t>(i)].checked != (a == "check_disease"))
                form.click_disease(i);
        } else {
            throw ScriptError("settlement: unknown action \"" + a + "\"");
        }
    }
    throw ScriptError("settlement: the script does not close the dialog");
}

}  // namespace vorla::ui
