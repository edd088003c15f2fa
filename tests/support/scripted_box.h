// A scripted stand-in for the user at the message boxes of the POSIX platform face: it
// records every box (kind, caption, text converted to UTF-8) and answers from a script.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

struct RecordedBox {
  MessageKind kind;
  std::string caption;  // UTF-8
  std::string text;     // UTF-8
};

class ScriptedBoxes {
 public:
  // Installs itself as the message-box handler; answers are given to question boxes in
  // order, and a question beyond the script counts as a failure and is answered Cancel.
  explicit ScriptedBoxes(std::vector<MessageAnswer> answers = {});
  ~ScriptedBoxes();
  ScriptedBoxes(const ScriptedBoxes&) = delete;
  ScriptedBoxes& operator=(const ScriptedBoxes&) = delete;

  // Runs action while question number index (from 0) is up, before it is answered: the
  // world may change while the user reads a question.
  void WhileAsking(size_t index, std::function<void()> action) {
    whileAskingIndex_ = index;
    whileAsking_ = std::move(action);
  }

  const std::vector<RecordedBox>& boxes() const { return boxes_; }
  // True when a question arrived that the script had no answer for.
  bool ranOutOfAnswers() const { return ranOut_; }

 private:
  static MessageAnswer Handle(MessageKind kind, const char* caption, const char* text);
  std::vector<MessageAnswer> answers_;
  size_t next_ = 0;
  bool ranOut_ = false;
  size_t whileAskingIndex_ = 0;
  std::function<void()> whileAsking_;
  std::vector<RecordedBox> boxes_;
};

// Converts code page 932 bytes to UTF-8 (iconv), so tests compare readable texts.
std::string Cp932ToUtf8(const std::string& bytes);
// Converts UTF-8 to code page 932 bytes (iconv).
std::string Utf8ToCp932(const std::string& text);
