// How the data and analysis layers speak to the user without knowing the
// window system: message boxes and the one Yes/No question.
#pragma once

#include <string>

namespace talvex {

enum class MessageIcon { None, Error, Exclamation, Information, Question };

// The tag a text front end prints before a message box's text.
inline const char* messageTag(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error: return "[error]";
        case MessageIcon::Exclamation: return "[warning]";
        case MessageIcon::Information: return "[information]";
        case MessageIcon::Question: return "[question]";
        case MessageIcon::None: break;
    }
    return "[message]";
}

class Messenger {
public:
    virtual ~Messenger() = default;
    // A message box with OK; returns when the user has closed it.
    virtual void message(const std::string& text, MessageIcon icon) = 0;
    // A Yes/No question box with the question icon; true for Yes.
    virtual bool askYesNo(const std::string& text) = 0;
};

}  // namespace talvex
