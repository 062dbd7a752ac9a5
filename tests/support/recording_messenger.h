// A Messenger that records every message and answers questions from a list.
// The template parameter lets the run host and window system doubles build
// on the same recording.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "data/messages.h"

namespace talvex::testing {

template <typename Base = Messenger>
class RecordingMessages : public Base {
public:
    struct Message {
        std::string text;
        MessageIcon icon;
    };
    std::vector<Message> messages;  // questions included, with the Question icon
    std::deque<bool> yesNoAnswers;  // Yes when the list is exhausted

    void message(const std::string& text, MessageIcon icon) override {
        messages.push_back({text, icon});
    }
    bool askYesNo(const std::string& text) override {
        messages.push_back({text, MessageIcon::Question});
        if (yesNoAnswers.empty()) return true;
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }

    // Texts of the messages shown, in order.
    std::vector<std::string> messageTexts() const {
        std::vector<std::string> texts;
        for (const Message& m : messages) texts.push_back(m.text);
        return texts;
    }
};

using RecordingMessenger = RecordingMessages<>;

}  // namespace talvex::testing
