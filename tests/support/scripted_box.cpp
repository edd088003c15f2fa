#include "scripted_box.h"

#include <iconv.h>

#include <stdexcept>

#include "platform/message_box_handler.h"

namespace {

ScriptedBoxes* g_active = nullptr;

std::string Convert(const char* to, const char* from, const std::string& in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == iconv_t(-1)) throw std::runtime_error("iconv_open failed");
  std::string out(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = &out[0];
  size_t dstLeft = out.size();
  const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (rc == size_t(-1)) throw std::runtime_error("iconv failed");
  out.resize(out.size() - dstLeft);
  return out;
}

}  // namespace

std::string Cp932ToUtf8(const std::string& bytes) { return Convert("UTF-8", "CP932", bytes); }
std::string Utf8ToCp932(const std::string& text) { return Convert("CP932", "UTF-8", text); }

ScriptedBoxes::ScriptedBoxes(std::vector<MessageAnswer> answers) : answers_(std::move(answers)) {
  g_active = this;
  SetMessageBoxHandler(&ScriptedBoxes::Handle);
}

ScriptedBoxes::~ScriptedBoxes() {
  SetMessageBoxHandler(nullptr);
  g_active = nullptr;
}

MessageAnswer ScriptedBoxes::Handle(MessageKind kind, const char* caption, const char* text) {
  ScriptedBoxes& self = *g_active;
  self.boxes_.push_back({kind, Cp932ToUtf8(caption), Cp932ToUtf8(text)});
  if (kind != QuestionBox) return AnswerOk;
  if (self.whileAsking_ && self.next_ == self.whileAskingIndex_) self.whileAsking_();
  if (self.next_ >= self.answers_.size()) {
    self.ranOut_ = true;
    return AnswerCancel;
  }
  return self.answers_[self.next_++];
}
