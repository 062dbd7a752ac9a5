// A dialog as a model: its controls (kind, key, caption, value as text,
// enabled flag, options) and its behaviour. Front ends only render a model
// and feed the user's input back into it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "data/messages.h"

namespace talvex {

class WindowSystem;

enum class ControlKind {
    Edit,      // free text, converted on OK
    Check,     // "1" or "0"
    Choice,    // radio group or combo box: value is the option's code
    List,      // read-only list of lines (options hold the lines)
    Display,   // read-only text
};

struct ControlOption {
    int code = 0;
    std::string name;     // accepted as input, case-insensitive
    std::string caption;  // what the dialog shows
    bool enabled = true;
    bool visible = true;
};

struct Control {
    ControlKind kind = ControlKind::Edit;
    std::string key;
    std::string caption;
    std::string value;
    bool enabled = true;
    bool visible = true;
    bool highlighted = false;  // painted white on red after a failed check
    int maxLength = 0;         // width of an edit, checked on OK; 0: no limit
    std::vector<ControlOption> options;

    // Presentation for a desktop front end; the terminal ignores these.
    std::string group;        // caption of the group box holding the control
    bool dropDown = false;    // a Choice shown as a combo box, not radio buttons
    bool labelled = true;     // false: the caption is not drawn, the control sits
                              // beside the radio button or check box before it
    bool multiSelect = false; // a List whose lines can be selected to be moved
    std::string selectButton; // a List: selecting a line presses this button
                              // with the line's code
};

enum class SetResult { Ok, UnknownKey, Disabled, BadValue };

// A button of the dialog other than OK and Cancel ("default", "browse KEY",
// "exclude N...").
struct DialogButton {
    std::string name;
    std::string help;  // one line for the terminal's `help`
    bool enabled = true;  // a disabled button is shown but refuses press()
    // For a desktop front end: the caption, the arguments the button passes,
    // and the control (and option code of a radio choice, -1 none) it sits
    // beside; without one it joins OK and Cancel.
    std::string caption = {};
    std::vector<std::string> args = {};
    std::string beside = {};
    int besideOption = -1;
};

// The button that moves the selected lines of a multiple-selection list to
// the other list: what it presses (with the lines' codes) and its caption.
struct ListMove {
    std::string button;
    std::string caption;
};

class DialogModel {
public:
    explicit DialogModel(std::string title) : title_(std::move(title)) {}
    virtual ~DialogModel() = default;

    const std::string& title() const { return title_; }
    const std::vector<Control>& controls() const { return controls_; }
    // The control of a key; a typed key matches whatever its case.
    const Control* find(const std::string& key) const;
    // The keys of the visible controls, in dialog order.
    std::vector<std::string> keys() const;
    // What a person may type as the value of a key: the names of the
    // visible, enabled options of a choice, on/off for a check box; nothing
    // for other controls.
    std::vector<std::string> valueWords(const std::string& key) const;
    // The keys, or the options of key, that a mistyped word probably meant
    // (see closestMatches).
    std::vector<std::string> suggestKeys(const std::string& typed) const;
    std::vector<std::string> suggestOptions(const std::string& key, const std::string& typed) const;
    // Key of the control that has the focus after a failed check ("" none).
    const std::string& focus() const { return focus_; }

    // Sets a control as a person would type or click it. A Check accepts
    // 1/0, on/off, yes/no; a Choice its option code or name
    // (case-insensitive). Disabled controls and options are refused. A
    // change of a Choice or Check runs onChanged.
    SetResult set(const std::string& key, const std::string& text);

    virtual std::vector<DialogButton> buttons() const { return {}; }
    // The buttons a desktop front end draws, one per widget (four Browse
    // buttons where the terminal has one "browse KEY").
    virtual std::vector<DialogButton> widgetButtons() const { return buttons(); }
    // The move button of the list that last had the focus; none when the
    // dialog has no such lists.
    virtual std::optional<ListMove> listMove(const std::string& focusedList) const {
        (void)focusedList;
        return std::nullopt;
    }
    // Columns a desktop front end spreads the group boxes over.
    virtual int layoutColumns() const { return 1; }
    // Point size of the dialog's font.
    virtual int fontPoints() const { return 8; }
    // Presses a button with its arguments; false when there is no such
    // button. The window system serves sub-dialogs and file dialogs.
    virtual bool press(const std::string& button, const std::vector<std::string>& args,
                       WindowSystem& ws);
    // OK: runs the checks, showing their messages; true when the dialog
    // may close (its values are then committed by the caller).
    virtual bool accept(Messenger& messenger) { (void)messenger; return true; }
    // Whether OK can be pressed now.
    virtual bool okEnabled() const { return true; }

protected:
    Control& add(Control control);
    // An Edit holding value, and a Check that is on or off.
    static Control editControl(const char* key, const char* caption, std::string value);
    static Control checkControl(const char* key, const char* caption, bool on);
    static Control choiceControl(const char* key, const char* caption,
                                 std::vector<ControlOption> options, int value);
    // A list of lines; read-only lists are also disabled by their dialog.
    static Control listControl(const char* key, const char* caption,
                               const std::vector<std::string>& lines = {});
    Control& control(const std::string& key);
    // Value helpers for the subclasses.
    int choice(const std::string& key) const;
    bool checked(const std::string& key) const;
    void setValue(const std::string& key, const std::string& value);
    void setChoice(const std::string& key, int code);
    void setChecked(const std::string& key, bool on);
    void setEnabled(const std::string& key, bool on);
    void setOptionEnabled(const std::string& key, int code, bool on);
    // Marks a control as erroneous and gives it the focus.
    void flag(const std::string& key);
    void clearFlags();
    // Called after a Choice or Check changed through set(), and after an
    // Edit whose key is listed by watchesEdit.
    virtual void onChanged(const std::string& key) { (void)key; }
    virtual bool watchesEdit(const std::string& key) const { (void)key; return false; }

private:
    std::string title_;
    std::vector<Control> controls_;
    std::string focus_;
};

// Why set(key, value) was refused, as a text front end says it after
// "[refused] " (the dialog as it is after the refusal).
std::string refusalText(const DialogModel& dialog, const std::string& key,
                        const std::string& value, SetResult result);

// What Tab offers in a dialog for the word being typed at the end of
// before (the input line up to the cursor; see inputWordStart): the first
// word completes to a key, ok, cancel, show, help or a button; the value of
// "key = " to the key's valueWords; the arguments of show to keys, those of
// a button to the keys its help names. Nothing for the value of an edit (the
// line editor then completes file names).
std::optional<std::vector<std::string>> completeDialogInput(const DialogModel& dialog,
                                                            const std::string& before);

// Integer from the leading digits of text, as the dialogs convert numbers
// ("12abc" gives 12, text that is not a number 0).
int leadingInteger(const std::string& text);

}  // namespace talvex
