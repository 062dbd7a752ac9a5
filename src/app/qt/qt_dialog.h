// A DialogModel as a modal Qt dialog. The widgets are built once from the
// model's controls; every user action is fed back into the model (set,
// press, accept) and the widgets are then brought up to date from it, so
// every rule stays in the model.
//
// Layout: controls sharing a group caption sit in one group box, one grid
// row per control (caption, field, button). A control that is not labelled
// takes the free field cell of the radio button or check box before it; a
// button with a `beside` key sits at the end of that control's row (or of
// the row of one of its radio options). Multiple-selection lists sit side
// by side with the move button between them.
#pragma once

#include <QDialog>
#include <map>
#include <string>
#include <vector>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace talvex {

class DialogModel;
class WindowSystem;
struct Control;

class QtDialog : public QDialog {
public:
    QtDialog(DialogModel& model, WindowSystem& ws, QWidget* parent);

    DialogModel& model() { return model_; }
    // Brings every widget up to date with the model.
    void sync();

    // The widgets, for the tests and the screenshots. widgetFor gives the
    // edit, check box, combo box, list or read-only label of a control, or
    // for a radio choice the button of its chosen option; null when none.
    QWidget* widgetFor(const std::string& key) const;
    QRadioButton* optionButton(const std::string& key, int code) const;
    // A button of widgetButtons() by name and first argument ("" none).
    QPushButton* button(const std::string& name, const std::string& arg = "") const;
    QPushButton* moveButton() const { return move_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }
    // The multiple-selection list that last had the focus.
    const std::string& focusedList() const { return focusedList_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Widgets {
        QLabel* label = nullptr;
        QLineEdit* edit = nullptr;
        QCheckBox* check = nullptr;
        QComboBox* combo = nullptr;
        QButtonGroup* radios = nullptr;
        std::map<int, QRadioButton*> options;
        QListWidget* list = nullptr;
        QLabel* display = nullptr;
        QGridLayout* grid = nullptr;
        int row = -1;
        std::map<int, int> optionRows;  // option code -> grid row
    };
    struct PlacedButton {
        std::string name;
        std::string arg;
        QPushButton* button;
    };

    void build();
    void addControl(const Control& c, QGridLayout* grid, std::vector<int>& freeRows,
                    QGridLayout*& listRow);
    void placeButtons(QGridLayout* bottom);
    void syncControl(const Control& c);
    void syncChoiceOptions(const Control& c, Widgets& w);
    void syncList(const Control& c, Widgets& w);
    void paintError(const Control& c, Widgets& w);

    // User actions.
    void userSet(const std::string& key, const std::string& value);
    void userPress(const std::string& name, const std::vector<std::string>& args);
    void userMove();
    void userOk();
    void focusFlagged();

    DialogModel& model_;
    WindowSystem& ws_;
    std::map<std::string, Widgets> widgets_;
    std::vector<PlacedButton> buttons_;
    QPushButton* move_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    std::string focusedList_;
    bool syncing_ = false;  // programmatic changes are not user input
};

// A caption as a label shows it: the captions write a literal "&" as "&&"
// (buttons and group boxes take that convention as it is); trailing blanks
// dropped.
std::string plainCaption(const std::string& caption);

}  // namespace talvex
