// The two small seams through which protocol code reaches a page: an edit field and a
// message box. Production wraps Qt widgets; tests use plain recorders.
#pragma once

#include <string>

namespace tamsu {

class EditField {
 public:
  virtual ~EditField() = default;
  virtual std::string GetText() const = 0;  // UTF-8
  virtual void SetText(const std::string& text) = 0;
};

enum class MessageIcon { None, Exclamation, Question, Information };

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // Shows one modal box with an OK button (UTF-8 texts) and returns when it is closed.
  virtual void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
  // Asks a yes-or-no question (a warning before a step that is hard to undo); true for yes.
  // Where nobody can answer, the answer is no.
  virtual bool Confirm(const std::string& text, const std::string& caption) {
    (void)text;
    (void)caption;
    return false;
  }
};

}  // namespace tamsu
