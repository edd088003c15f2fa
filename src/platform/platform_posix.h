// What only the POSIX face has: programs and tests decide who answers message boxes.
#pragma once

#include "platform/platform.h"

// Receives each box (caption and text in code page 932) and returns the answer.
typedef MessageAnswer (*MessageBoxHandler)(MessageKind kind, const char* caption, const char* text);

// Installs the handler for all later boxes; null restores the default (questions: Cancel).
void SetMessageBoxHandler(MessageBoxHandler handler);
