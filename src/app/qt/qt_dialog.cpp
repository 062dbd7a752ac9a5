#include "app/qt/qt_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <algorithm>
#include <QVBoxLayout>

#include "app/dialog_model.h"
#include "app/window_system.h"

namespace talvex {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

std::string trimRight(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

// The blue of the group captions.
constexpr const char* kGroupStyle =
    "QGroupBox { font-family: Arial; font-size: 16px; color: rgb(55, 69, 166); }";
// A field in error: white on pure red.
constexpr const char* kErrorStyle = "color: white; background-color: rgb(255, 0, 0);";

std::string optionCaption(const ControlOption& o) { return o.caption.empty() ? o.name : o.caption; }

bool readOnlyList(const Control& c) {
    return c.kind == ControlKind::List && !c.enabled && !c.multiSelect && c.selectButton.empty();
}

}  // namespace

std::string plainCaption(const std::string& caption) {
    std::string out;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        out += caption[i];
        if (caption[i] == '&' && i + 1 < caption.size() && caption[i + 1] == '&') ++i;
    }
    return trimRight(out);
}

QtDialog::QtDialog(DialogModel& model, WindowSystem& ws, QWidget* parent)
    : QDialog(parent), model_(model), ws_(ws) {
    setWindowTitle(qs(model.title()));
    QFont f = font();
    f.setPointSize(model.fontPoints());
    setFont(f);
    build();
    sync();
}

// ---- building --------------------------------------------------------------

void QtDialog::build() {
    auto* outer = new QVBoxLayout(this);
    auto* columns = new QHBoxLayout;
    outer->addLayout(columns);

    // Sections: runs of controls with the same group caption.
    struct Section {
        std::string group;
        std::vector<const Control*> controls;
    };
    std::vector<Section> sections;
    for (const Control& c : model_.controls()) {
        if (sections.empty() || sections.back().group != c.group) sections.push_back({c.group, {}});
        sections.back().controls.push_back(&c);
    }
    // Sections fill the columns in order, each column about an equal share
    // of the rows (a list counts as five, a radio choice one per option).
    auto weight = [](const Section& s) {
        std::size_t rows = 0;
        for (const Control* c : s.controls)
            rows += c->kind == ControlKind::List ? 5
                    : c->kind == ControlKind::Choice && !c->dropDown ? c->options.size()
                                                                     : 1;
        return rows;
    };
    const int columnCount = std::max(1, model_.layoutColumns());
    std::size_t rows = 0;
    for (const Section& s : sections) rows += weight(s);
    const std::size_t perColumn = (rows + static_cast<std::size_t>(columnCount) - 1) /
                                  static_cast<std::size_t>(columnCount);
    QVBoxLayout* column = nullptr;
    std::size_t inColumn = 0;
    int columnsUsed = 0;
    for (const Section& s : sections) {
        if (column == nullptr || (inColumn >= perColumn && columnsUsed < columnCount)) {
            column = new QVBoxLayout;
            columns->addLayout(column);
            ++columnsUsed;
            inColumn = 0;
        }
        inColumn += weight(s);
        auto* grid = new QGridLayout;
        if (s.group.empty()) {
            column->addLayout(grid);
        } else {
            auto* box = new QGroupBox(qs(trimRight(s.group)), this);
            box->setStyleSheet(kGroupStyle);
            box->setLayout(grid);
            column->addWidget(box);
        }
        std::vector<int> freeRows;
        QGridLayout* listRow = nullptr;
        for (const Control* c : s.controls) addControl(*c, grid, freeRows, listRow);
    }
    for (int i = 0; i < columns->count(); ++i)
        if (auto* l = qobject_cast<QVBoxLayout*>(columns->itemAt(i)->layout())) l->addStretch();

    auto* bottom = new QGridLayout;
    outer->addLayout(bottom);
    placeButtons(bottom);
}

void QtDialog::addControl(const Control& c, QGridLayout* grid, std::vector<int>& freeRows,
                          QGridLayout*& listRow) {
    Widgets& w = widgets_[c.key];
    w.grid = grid;
    const std::string key = c.key;
    // The row a control takes: the next free field cell when it is not
    // labelled, otherwise a new row.
    auto takeRow = [&](bool beside) {
        if (beside && !freeRows.empty()) {
            const int row = freeRows.front();
            freeRows.erase(freeRows.begin());
            return row;
        }
        freeRows.clear();
        return grid->rowCount();
    };
    auto addLabel = [&](int row) {
        if (!c.labelled || plainCaption(c.caption).empty()) return;
        w.label = new QLabel(qs(plainCaption(c.caption)), this);
        grid->addWidget(w.label, row, 0);
    };
    if (c.kind != ControlKind::List) listRow = nullptr;

    switch (c.kind) {
        case ControlKind::Edit: {
            w.row = takeRow(!c.labelled);
            addLabel(w.row);
            w.edit = new QLineEdit(this);
            w.edit->setObjectName(qs(key));
            if (!c.labelled) w.edit->setMinimumWidth(240);  // file names
            grid->addWidget(w.edit, w.row, 1);
            connect(w.edit, &QLineEdit::textEdited, this,
                    [this, key](const QString& text) { userSet(key, text.toStdString()); });
            break;
        }
        case ControlKind::Check: {
            w.row = takeRow(false);
            w.check = new QCheckBox(qs(trimRight(c.caption)), this);
            w.check->setObjectName(qs(key));
            grid->addWidget(w.check, w.row, 0);
            freeRows = {w.row};
            connect(w.check, &QCheckBox::clicked, this,
                    [this, key](bool on) { userSet(key, on ? "1" : "0"); });
            break;
        }
        case ControlKind::Choice: {
            if (c.dropDown) {
                w.row = takeRow(!c.labelled);
                addLabel(w.row);
                w.combo = new QComboBox(this);
                w.combo->setObjectName(qs(key));
                grid->addWidget(w.combo, w.row, 1);
                connect(w.combo, &QComboBox::activated, this, [this, key](int index) {
                    const QVariant code = widgets_[key].combo->itemData(index);
                    userSet(key, std::to_string(code.toInt()));
                });
                break;
            }
            if (c.labelled && !plainCaption(c.caption).empty()) addLabel(takeRow(false));
            freeRows.clear();
            w.radios = new QButtonGroup(this);
            for (const ControlOption& o : c.options) {
                const int row = grid->rowCount();
                auto* radio = new QRadioButton(qs(trimRight(optionCaption(o))), this);
                radio->setObjectName(qs(key + ":" + std::to_string(o.code)));
                grid->addWidget(radio, row, 0);
                w.radios->addButton(radio, o.code);
                w.options[o.code] = radio;
                w.optionRows[o.code] = row;
                if (w.row < 0) w.row = row;
                if (o.visible) freeRows.push_back(row);
                const int code = o.code;
                connect(radio, &QRadioButton::clicked, this,
                        [this, key, code] { userSet(key, std::to_string(code)); });
            }
            break;
        }
        case ControlKind::List: {
            w.list = new QListWidget(this);
            w.list->setObjectName(qs(key));
            auto* box = new QVBoxLayout;
            if (c.labelled && !plainCaption(c.caption).empty())
                box->addWidget(w.label = new QLabel(qs(plainCaption(c.caption)), this));
            box->addWidget(w.list);
            if (c.multiSelect) {
                // Lists side by side, the move button between them.
                w.list->setSelectionMode(QAbstractItemView::ExtendedSelection);
                w.list->installEventFilter(this);
                if (listRow == nullptr) {
                    listRow = new QGridLayout;
                    w.row = takeRow(false);
                    grid->addLayout(listRow, w.row, 0, 1, 3);
                    listRow->addLayout(box, 0, 0);
                } else {
                    w.row = grid->rowCount() - 1;
                    move_ = new QPushButton(this);
                    move_->setObjectName("move");
                    move_->setFixedWidth(40);
                    listRow->addWidget(move_, 0, 1, Qt::AlignVCenter);
                    listRow->addLayout(box, 0, 2);
                    connect(move_, &QPushButton::clicked, this, [this] { userMove(); });
                }
                break;
            }
            listRow = nullptr;
            w.row = takeRow(false);
            grid->addLayout(box, w.row, 0, 1, 3);
            if (readOnlyList(c)) {
                // Explanation text: readable, not selectable.
                w.list->setSelectionMode(QAbstractItemView::NoSelection);
                w.list->setFocusPolicy(Qt::NoFocus);
                w.list->setMinimumWidth(560);
            } else if (!c.selectButton.empty()) {
                const std::string button = c.selectButton;
                connect(w.list, &QListWidget::itemClicked, this,
                        [this, button](QListWidgetItem* item) {
                            userPress(button, {std::to_string(item->data(Qt::UserRole).toInt())});
                        });
            }
            break;
        }
        case ControlKind::Display: {
            w.row = takeRow(!c.labelled);
            addLabel(w.row);
            w.display = new QLabel(this);
            w.display->setObjectName(qs(key));
            w.display->setTextInteractionFlags(Qt::TextSelectableByMouse);
            grid->addWidget(w.display, w.row, 1);
            break;
        }
    }
}

void QtDialog::placeButtons(QGridLayout* bottom) {
    int bottomColumn = 0;
    for (const DialogButton& b : model_.widgetButtons()) {
        auto* button = new QPushButton(qs(b.caption.empty() ? b.name : b.caption), this);
        const std::string arg = b.args.empty() ? std::string() : b.args.front();
        button->setObjectName(qs(arg.empty() ? b.name : b.name + ":" + arg));
        button->setAutoDefault(false);
        buttons_.push_back({b.name, arg, button});
        const auto placed = widgets_.find(b.beside);
        if (placed != widgets_.end()) {
            const Widgets& w = placed->second;
            const auto option = w.optionRows.find(b.besideOption);
            const int row = option != w.optionRows.end() ? option->second : w.row;
            w.grid->addWidget(button, row, 2);
        } else {
            bottom->addWidget(button, 0, bottomColumn++);
        }
        const std::string name = b.name;
        const std::vector<std::string> args = b.args;
        connect(button, &QPushButton::clicked, this, [this, name, args] { userPress(name, args); });
    }
    bottom->setColumnStretch(bottomColumn++, 1);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = box->button(QDialogButtonBox::Ok);
    cancel_ = box->button(QDialogButtonBox::Cancel);
    ok_->setDefault(true);
    bottom->addWidget(box, 0, bottomColumn);
    // OK runs the model's checks before the dialog may close.
    connect(ok_, &QPushButton::clicked, this, [this] { userOk(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
}

// ---- model to widgets ------------------------------------------------------

void QtDialog::sync() {
    syncing_ = true;
    for (const Control& c : model_.controls()) syncControl(c);
    for (const DialogButton& b : model_.widgetButtons()) {
        const std::string arg = b.args.empty() ? std::string() : b.args.front();
        if (QPushButton* button = this->button(b.name, arg)) button->setEnabled(b.enabled);
    }
    if (move_ != nullptr) {
        const auto moveAction = model_.listMove(focusedList_);
        move_->setText(moveAction ? qs(moveAction->caption) : QString());
    }
    if (ok_ != nullptr) ok_->setEnabled(model_.okEnabled());
    syncing_ = false;
}

void QtDialog::syncControl(const Control& c) {
    auto found = widgets_.find(c.key);
    if (found == widgets_.end()) return;
    Widgets& w = found->second;
    if (w.label != nullptr) {
        w.label->setVisible(c.visible);
        w.label->setEnabled(c.enabled);
    }
    switch (c.kind) {
        case ControlKind::Edit:
            if (w.edit->text().toStdString() != c.value) w.edit->setText(qs(c.value));
            w.edit->setEnabled(c.enabled);
            w.edit->setVisible(c.visible);
            break;
        case ControlKind::Check:
            w.check->setChecked(c.value == "1");
            w.check->setEnabled(c.enabled);
            w.check->setVisible(c.visible);
            break;
        case ControlKind::Choice:
            syncChoiceOptions(c, w);
            break;
        case ControlKind::List:
            syncList(c, w);
            break;
        case ControlKind::Display:
            w.display->setText(qs(c.value));
            w.display->setEnabled(true);  // read-only text stays readable
            w.display->setVisible(c.visible);
            break;
    }
    paintError(c, w);
}

void QtDialog::syncChoiceOptions(const Control& c, Widgets& w) {
    const int value = c.value.empty() ? -1 : leadingInteger(c.value);
    if (w.combo != nullptr) {
        // Items are the visible options; rebuilt when that set changes.
        std::vector<int> codes;
        for (const ControlOption& o : c.options)
            if (o.visible) codes.push_back(o.code);
        bool same = static_cast<int>(codes.size()) == w.combo->count();
        for (int i = 0; same && i < w.combo->count(); ++i)
            same = w.combo->itemData(i).toInt() == codes[static_cast<std::size_t>(i)];
        if (!same) {
            w.combo->clear();
            for (const ControlOption& o : c.options)
                if (o.visible) w.combo->addItem(qs(plainCaption(optionCaption(o))), o.code);
        }
        auto* items = qobject_cast<QStandardItemModel*>(w.combo->model());
        int index = -1;
        for (int i = 0; i < w.combo->count(); ++i) {
            const int code = w.combo->itemData(i).toInt();
            for (const ControlOption& o : c.options)
                if (o.code == code && items != nullptr) items->item(i)->setEnabled(o.enabled);
            if (code == value) index = i;
        }
        w.combo->setCurrentIndex(index);
        w.combo->setEnabled(c.enabled);
        w.combo->setVisible(c.visible);
        return;
    }
    // An exclusive group cannot show no choice; the value may be an option
    // that is not shown (a user matrix), then every button is unticked.
    w.radios->setExclusive(false);
    for (const ControlOption& o : c.options) {
        QRadioButton* radio = w.options[o.code];
        radio->setChecked(o.code == value);
        radio->setVisible(c.visible && o.visible);
        radio->setEnabled(c.enabled && o.enabled);
    }
    w.radios->setExclusive(true);
}

void QtDialog::syncList(const Control& c, Widgets& w) {
    bool same = static_cast<int>(c.options.size()) == w.list->count();
    for (int i = 0; same && i < w.list->count(); ++i)
        same = w.list->item(i)->text().toStdString() ==
                   trimRight(optionCaption(c.options[static_cast<std::size_t>(i)])) &&
               w.list->item(i)->data(Qt::UserRole).toInt() ==
                   c.options[static_cast<std::size_t>(i)].code;
    if (!same) {
        w.list->clear();
        for (const ControlOption& o : c.options) {
            auto* item = new QListWidgetItem(qs(trimRight(optionCaption(o))), w.list);
            item->setData(Qt::UserRole, o.code);
        }
        if (w.list->count() > 0 && !c.selectButton.empty()) w.list->scrollToBottom();
    }
    w.list->setVisible(c.visible);
    if (!readOnlyList(c)) w.list->setEnabled(c.enabled);
}

void QtDialog::paintError(const Control& c, Widgets& w) {
    const QString style = c.highlighted ? QString(kErrorStyle) : QString();
    for (QWidget* widget : {static_cast<QWidget*>(w.edit), static_cast<QWidget*>(w.check),
                            static_cast<QWidget*>(w.combo), static_cast<QWidget*>(w.list),
                            static_cast<QWidget*>(w.display)})
        if (widget != nullptr && widget->styleSheet() != style) widget->setStyleSheet(style);
    for (auto& [code, radio] : w.options)
        if (radio->styleSheet() != style) radio->setStyleSheet(style);
}

// ---- user actions ----------------------------------------------------------

void QtDialog::userSet(const std::string& key, const std::string& value) {
    if (syncing_) return;
    model_.set(key, value);
    sync();
}

void QtDialog::userPress(const std::string& name, const std::vector<std::string>& args) {
    if (syncing_) return;
    model_.press(name, args, ws_);
    sync();
}

void QtDialog::userMove() {
    const auto moveAction = model_.listMove(focusedList_);
    if (!moveAction) return;
    // The list the action moves from: the focused one, or before any list
    // had the focus the one the model's default move empties.
    QListWidget* list = nullptr;
    if (auto it = widgets_.find(focusedList_); it != widgets_.end() && it->second.list != nullptr)
        list = it->second.list;
    for (auto it = widgets_.begin(); list == nullptr && it != widgets_.end(); ++it)
        if (it->second.list != nullptr && it->second.list->selectionMode() ==
                                              QAbstractItemView::ExtendedSelection &&
            model_.listMove(it->first)->button == moveAction->button)
            list = it->second.list;
    if (list == nullptr) return;
    std::vector<std::string> codes;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected())
            codes.push_back(std::to_string(list->item(i)->data(Qt::UserRole).toInt()));
    if (codes.empty()) return;
    userPress(moveAction->button, codes);
}

void QtDialog::userOk() {
    if (!model_.okEnabled()) return;
    if (model_.accept(ws_)) {
        accept();
        return;
    }
    sync();
    focusFlagged();
}

void QtDialog::focusFlagged() {
    const std::string& key = model_.focus();
    if (key.empty()) return;
    if (QWidget* widget = widgetFor(key)) {
        widget->setFocus(Qt::OtherFocusReason);
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->selectAll();
    }
}

bool QtDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        for (const auto& [key, w] : widgets_) {
            if (w.list != nullptr && w.list == watched) {
                focusedList_ = key;
                sync();
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---- lookup ----------------------------------------------------------------

QWidget* QtDialog::widgetFor(const std::string& key) const {
    const auto found = widgets_.find(key);
    if (found == widgets_.end()) return nullptr;
    const Widgets& w = found->second;
    if (w.edit != nullptr) return w.edit;
    if (w.check != nullptr) return w.check;
    if (w.combo != nullptr) return w.combo;
    if (w.list != nullptr) return w.list;
    if (w.display != nullptr) return w.display;
    if (w.radios != nullptr) {
        if (QAbstractButton* chosen = w.radios->checkedButton()) return chosen;
        for (const auto& [code, radio] : w.options)
            if (radio->isEnabled()) return radio;
    }
    return nullptr;
}

QRadioButton* QtDialog::optionButton(const std::string& key, int code) const {
    const auto found = widgets_.find(key);
    if (found == widgets_.end()) return nullptr;
    const auto option = found->second.options.find(code);
    return option == found->second.options.end() ? nullptr : option->second;
}

QPushButton* QtDialog::button(const std::string& name, const std::string& arg) const {
    for (const PlacedButton& b : buttons_)
        if (b.name == name && b.arg == arg) return b.button;
    return nullptr;
}

}  // namespace talvex
