// Acts on modal windows as a person would: each step waits for the next
// modal dialog or message box, checks its title and acts on its widgets
// (typing, clicking). A modal window the script does not expect is
// cancelled and recorded, so a test never hangs on it.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QtTest/QTest>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/qt_dialog.h"

namespace talvex::testing {

class ModalDriver {
public:
    using Step = std::function<void(QWidget&)>;

    ModalDriver() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }

    // The next modal window must have this title.
    void expect(const std::string& title, Step step) { steps_.push_back({title, std::move(step)}); }
    // A message box: its text is recorded and it is answered with button.
    void expectBox(QMessageBox::StandardButton button = QMessageBox::Ok) {
        expect("TALVEX", [this, button](QWidget& w) {
            auto& box = dynamic_cast<QMessageBox&>(w);
            boxes.push_back(box.text().toStdString());
            icons.push_back(box.icon());
            box.button(button)->click();
        });
    }
    bool finished() const { return steps_.empty(); }

    std::vector<std::string> boxes;      // texts of the message boxes answered
    std::vector<QMessageBox::Icon> icons;
    std::vector<std::string> unexpected;  // titles of windows cancelled

private:
    struct Pending {
        std::string title;
        Step step;
    };

    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == last_.data()) return;
        last_ = modal;
        const std::string title = modal->windowTitle().toStdString();
        if (steps_.empty() || steps_.front().title != title) {
            unexpected.push_back(title);
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                boxes.push_back(box->text().toStdString());
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
            return;
        }
        // Acted on from a fresh timer: the step may open another modal
        // window, which this timer must be free to answer.
        auto step = std::make_shared<Step>(std::move(steps_.front().step));
        steps_.pop_front();
        QPointer<QWidget> target = modal;
        QTimer::singleShot(0, [step, target] {
            if (target) (*step)(*target);
        });
    }

    QTimer timer_;
    QPointer<QWidget> last_;
    std::deque<Pending> steps_;
};

// The dialog of a step.
inline QtDialog& dialogOf(QWidget& w) { return dynamic_cast<QtDialog&>(w); }

// Replaces the text of a control's edit by typing.
inline void typeInto(QtDialog& d, const std::string& key, const std::string& text) {
    auto* edit = qobject_cast<QLineEdit*>(d.widgetFor(key));
    if (edit == nullptr) {
        ADD_FAILURE() << "no edit " << key;
        return;
    }
    edit->setFocus();
    edit->selectAll();
    if (text.empty())
        QTest::keyClick(edit, Qt::Key_Delete);
    else
        QTest::keyClicks(edit, QString::fromStdString(text));
}

inline void click(QAbstractButton* button) {
    if (button == nullptr) {
        ADD_FAILURE() << "no such button";
        return;
    }
    // A check box or radio button takes clicks on its indicator and text
    // only; its widget may be wider than both.
    const bool indicator = qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button);
    QTest::mouseClick(button, Qt::LeftButton, {},
                      indicator ? QPoint(6, button->height() / 2) : button->rect().center());
}

}  // namespace talvex::testing
