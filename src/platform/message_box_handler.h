// Message boxes for programs without windows (gramconv, tests): the program decides who
// answers them.
#pragma once

#include "platform/platform.h"

// Receives each box (caption and text in code page 932) and returns the answer.
typedef MessageAnswer (*MessageBoxHandler)(MessageKind kind, const char* caption, const char* text);

// Installs the handler for all later boxes; null restores the default (questions: Cancel).
void SetMessageBoxHandler(MessageBoxHandler handler);
