// A Messenger that records every message and answers questions from a list.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "data/messages.h"

namespace talvex::testing {

class RecordingMessenger : public Messenger {
public:
    struct Entry {
        std::string text;
        MessageIcon icon;
    };
    std::vector<Entry> entries;  // questions included, with the Question icon
    std::deque<bool> answers;    // Yes when the list is exhausted

    void message(const std::string& text, MessageIcon icon) override {
        entries.push_back({text, icon});
    }
    bool askYesNo(const std::string& text) override {
        entries.push_back({text, MessageIcon::Question});
        if (answers.empty()) return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

}  // namespace talvex::testing
