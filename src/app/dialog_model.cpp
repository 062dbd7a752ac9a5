#include "app/dialog_model.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "app/text_util.h"

namespace talvex {

int leadingInteger(const std::string& text) {
    // Too many digits saturate instead of wrapping to another number.
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, std::numeric_limits<int>::min(),
                                             std::numeric_limits<int>::max()));
}

const Control* DialogModel::find(const std::string& key) const {
    for (const Control& c : controls_)
        if (c.key == key) return &c;
    const std::string typed = lower(key);
    for (const Control& c : controls_)
        if (lower(c.key) == typed) return &c;
    return nullptr;
}

std::vector<std::string> DialogModel::keys() const {
    std::vector<std::string> keys;
    for (const Control& c : controls_)
        if (c.visible) keys.push_back(c.key);
    return keys;
}

std::vector<std::string> DialogModel::valueWords(const std::string& key) const {
    const Control* c = find(key);
    std::vector<std::string> words;
    if (c == nullptr || !c->visible) return words;
    if (c->kind == ControlKind::Check) return {"on", "off"};
    if (c->kind != ControlKind::Choice) return words;
    for (const ControlOption& o : c->options)
        if (o.visible && o.enabled) words.push_back(o.name.empty() ? o.caption : o.name);
    return words;
}

std::vector<std::string> DialogModel::suggestKeys(const std::string& typed) const {
    return closestMatches(typed, keys());
}

std::vector<std::string> DialogModel::suggestOptions(const std::string& key,
                                                     const std::string& typed) const {
    const Control* c = find(key);
    if (c == nullptr || c->kind != ControlKind::Choice) return {};
    return closestMatches(typed, valueWords(key));
}

Control& DialogModel::add(Control control) {
    controls_.push_back(std::move(control));
    return controls_.back();
}

Control DialogModel::editControl(const char* key, const char* caption, std::string value) {
    Control c;
    c.kind = ControlKind::Edit;
    c.key = key;
    c.caption = caption;
    c.value = std::move(value);
    return c;
}

Control DialogModel::checkControl(const char* key, const char* caption, bool on) {
    Control c;
    c.kind = ControlKind::Check;
    c.key = key;
    c.caption = caption;
    c.value = on ? "1" : "0";
    return c;
}

Control DialogModel::choiceControl(const char* key, const char* caption,
                                   std::vector<ControlOption> options, int value) {
    Control c;
    c.kind = ControlKind::Choice;
    c.key = key;
    c.caption = caption;
    c.options = std::move(options);
    c.value = std::to_string(value);
    return c;
}

Control DialogModel::listControl(const char* key, const char* caption,
                                 const std::vector<std::string>& lines) {
    Control c;
    c.kind = ControlKind::List;
    c.key = key;
    c.caption = caption;
    for (const std::string& line : lines) c.options.push_back({0, line, line});
    return c;
}

Control& DialogModel::control(const std::string& key) {
    for (Control& c : controls_)
        if (c.key == key) return c;
    std::abort();  // a programming error: the subclass names its own keys
}

int DialogModel::choice(const std::string& key) const { return leadingInteger(find(key)->value); }
bool DialogModel::checked(const std::string& key) const { return find(key)->value == "1"; }
void DialogModel::setValue(const std::string& key, const std::string& value) { control(key).value = value; }
void DialogModel::setChoice(const std::string& key, int code) { control(key).value = std::to_string(code); }
void DialogModel::setChecked(const std::string& key, bool on) { control(key).value = on ? "1" : "0"; }
void DialogModel::setEnabled(const std::string& key, bool on) { control(key).enabled = on; }

void DialogModel::setOptionEnabled(const std::string& key, int code, bool on) {
    for (ControlOption& o : control(key).options)
        if (o.code == code) o.enabled = on;
}

void DialogModel::flag(const std::string& key) {
    control(key).highlighted = true;
    focus_ = key;
}

void DialogModel::clearFlags() {
    for (Control& c : controls_) c.highlighted = false;
    focus_.clear();
}

SetResult DialogModel::set(const std::string& typedKey, const std::string& rawText) {
    const Control* found = find(typedKey);
    if (found == nullptr || !found->visible) return SetResult::UnknownKey;
    Control* c = &control(found->key);
    const std::string key = c->key;
    if (!c->enabled) return SetResult::Disabled;
    switch (c->kind) {
        case ControlKind::Edit: {
            // Kept whole even beyond maxLength: a silent cut would turn the
            // text into another number; the dialog refuses it on OK.
            c->value = rawText;
            if (watchesEdit(key)) onChanged(key);
            return SetResult::Ok;
        }
        case ControlKind::Check: {
            const std::string t = lower(trim(rawText));
            if (t == "1" || t == "on" || t == "yes")
                c->value = "1";
            else if (t == "0" || t == "off" || t == "no")
                c->value = "0";
            else
                return SetResult::BadValue;
            onChanged(key);
            return SetResult::Ok;
        }
        case ControlKind::Choice: {
            const std::string t = lower(trim(rawText));
            for (const ControlOption& o : c->options) {
                if (!o.visible) continue;
                if (lower(o.name) == t || lower(o.caption) == t || std::to_string(o.code) == t) {
                    if (!o.enabled) return SetResult::Disabled;
                    c->value = std::to_string(o.code);
                    onChanged(key);
                    return SetResult::Ok;
                }
            }
            return SetResult::BadValue;
        }
        case ControlKind::List:
        case ControlKind::Display:
            return SetResult::Disabled;
    }
    return SetResult::BadValue;
}

std::string refusalText(const DialogModel& dialog, const std::string& key,
                        const std::string& value, SetResult result) {
    const Control* c = dialog.find(key);
    if (result == SetResult::UnknownKey || c == nullptr) {
        const std::string hint = didYouMean(dialog.suggestKeys(key));
        return "no control \"" + key + "\" in this dialog" + (hint.empty() ? "" : " (" + hint + ")");
    }
    if (result == SetResult::Disabled) {
        if (c->kind == ControlKind::List || c->kind == ControlKind::Display)
            return key + " is read-only";
        if (!c->enabled) return key + " is disabled";
        return "option \"" + value + "\" of " + key + " is disabled";
    }
    if (c->kind == ControlKind::Check) return key + " takes on/off, yes/no or 1/0";
    if (c->kind == ControlKind::Choice) {
        const std::string hint = didYouMean(dialog.suggestOptions(key, value));
        return "\"" + value + "\" is not an option of " + key + " (" +
               (hint.empty() ? "show " + key + " lists them" : hint) + ")";
    }
    return "bad value for " + key;
}

std::optional<std::vector<std::string>> completeDialogInput(const DialogModel& dialog,
                                                            const std::string& before) {
    const std::size_t start = inputWordStart(before);
    const std::string word = trim(before.substr(start));
    const auto eq = before.find('=');
    if (eq != std::string::npos) {
        const std::string key = trim(before.substr(0, eq));
        const Control* c = dialog.find(key);
        if (c == nullptr || c->kind == ControlKind::Edit) return std::nullopt;
        return withPrefix(word, dialog.valueWords(key));
    }
    const std::string head = trim(before.substr(0, start));
    if (head.empty()) {
        std::vector<std::string> words = dialog.keys();
        for (const char* command : {"ok", "cancel", "show", "help"}) words.emplace_back(command);
        for (const DialogButton& b : dialog.buttons())
            words.push_back(b.name.substr(0, b.name.find(' ')));
        return withPrefix(word, words);
    }
    const std::string command = lower(head.substr(0, head.find_first_of(kWhiteSpace)));
    if (command == "show") return withPrefix(word, dialog.keys());
    std::vector<std::string> named;
    for (const DialogButton& b : dialog.buttons()) {
        if (lower(b.name.substr(0, b.name.find(' '))) != command) continue;
        for (const std::string& key : dialog.keys())
            if (b.help.find(key) != std::string::npos) named.push_back(key);
    }
    return withPrefix(word, named);
}

bool DialogModel::press(const std::string&, const std::vector<std::string>&, WindowSystem&) { return false; }

}  // namespace talvex
