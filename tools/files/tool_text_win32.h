// UTF-8 and UTF-16 for gramconv.exe: file names come in wide and go to the conversions
// and the console in UTF-8.
#pragma once

#include <string>

std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
